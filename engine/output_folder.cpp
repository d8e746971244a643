#include "engine/output_folder.h"

#include <algorithm>
#include <cstring>

#include "base/file_error.h"
#include "base/mbcs.h"
#include "engine/checksum_manifest.h"
#include "engine/output_files.h"
#include "engine/result_report.h"
#include "support/paths.h"

const char kJournalName[] = "Tolvarenquista.journal";

namespace {

// A journal names a few files per input; anything larger is not one of ours.
constexpr std::size_t kMaxJournalSize = 1 << 20;
constexpr char kClaimMark = '+';
constexpr char kDisownMark = '-';
constexpr std::size_t kBaseDigits = 14;

}  // namespace

bool COutputFolder::IsRunFileName(const std::string& name) {
    std::string_view stem = name;
    if (stem.ends_with(kPartialSuffix)) stem.remove_suffix(std::strlen(kPartialSuffix));
    if (stem.size() <= kBaseDigits || !AllDigits(stem.substr(0, kBaseDigits)) || stem[kBaseDigits] != '_') return false;
    const std::string_view rest = stem.substr(kBaseDigits);  // from the "_" on
    if (rest == kReportSuffix || rest == kManifestSuffix) return true;
    return stem.ends_with(".CSV") && rest.size() >= 1 + 3 + 4 && AllDigits(rest.substr(1, rest.size() - 5));
}

COutputFolder::~COutputFolder() { Release(); }

std::string COutputFolder::PathOf(const std::string& name) const { return JoinPath(m_folder, name); }

COutputFolder::LockResult COutputFolder::Lock(const std::string& folder, std::string* reason) {
    Release();
    m_folder = folder;
    m_leftovers.clear();
    m_claimed.clear();
    m_oldJournal = false;
    int error = 0;
    if (const LockResult locked = m_lock.Acquire(folder, &error); locked != LockResult::Locked) {
        if (locked == LockResult::Failed && reason != nullptr) *reason = platform::ErrorText(error);
        return locked;
    }
    const std::string journalPath = PathOf(kJournalName);
    const auto fail = [&](const std::string& why) {
        if (reason != nullptr) *reason = why;
        m_lock.Release();
        return LockResult::Failed;
    };

    // The journal of an earlier run that did not end (killed, or unable to remove its files).
    platform::File journal;
    if (!journal.Open(journalPath, platform::File::modeRead | platform::File::modeNoFollow, &error)) {
        if (platform::IsMissingError(error)) return LockResult::Locked;
        return fail(platform::FileFailure("読込み", journalPath, error).what());
    }
    std::string text;
    try {
        if (journal.GetLength() > kMaxJournalSize) throw FileError("読込み", journalPath, 0, "too large");
        text.resize(static_cast<std::size_t>(journal.GetLength()));
        text.resize(journal.Read(text.data(), text.size()));
    } catch (const FileError& failure) {
        return fail(failure.what());
    }
    m_oldJournal = true;
    std::vector<std::string> owned;
    std::vector<std::string> lines;
    SplitText(text, "\r\n", lines);
    for (const std::string& line : lines) {
        if (line.size() < 2) continue;
        const std::string name = line.substr(1);
        if (!IsRunFileName(name)) continue;  // never ours, whatever the journal says
        if (line[0] == kClaimMark && std::find(owned.begin(), owned.end(), name) == owned.end()) {
            owned.push_back(name);
        } else if (line[0] == kDisownMark) {
            owned.erase(std::remove(owned.begin(), owned.end(), name), owned.end());
        }
    }
    // A run whose report is in place under its final name (its temporary one gone) was complete:
    // only its journal is left to tidy.
    for (const std::string& name : owned) {
        if (name.ends_with(kReportSuffix) && platform::PathExists(PathOf(name)) &&
            !platform::PathExists(PathOf(name + kPartialSuffix))) {
            journal.Close();
            if (platform::RemoveFile(journalPath)) m_oldJournal = false;
            return LockResult::Locked;
        }
    }
    for (const std::string& name : owned) {
        if (platform::PathExists(PathOf(name))) m_leftovers.push_back(name);
    }
    return LockResult::Locked;
}

void COutputFolder::Begin(const std::function<void(const std::string& name)>& removed) {
    if (m_oldJournal) {
        for (const std::string& name : m_leftovers) {
            if (RemoveFileOrThrow(PathOf(name)) && removed) removed(name);
        }
        RemoveFileOrThrow(PathOf(kJournalName));
        m_leftovers.clear();
        m_oldJournal = false;
    }
    int error = 0;
    if (!m_journal.Open(PathOf(kJournalName), platform::File::modeCreate | platform::File::modeWrite, &error)) {
        throw platform::FileFailure("作成", PathOf(kJournalName), error);
    }
    m_claimed.clear();
}

void COutputFolder::Append(const std::string& text) {
    m_journal.Write(text.data(), text.size());
    m_journal.Sync();
}

void COutputFolder::Claim(const std::vector<std::string>& names) {
    if (!Journaling() || names.empty()) return;
    std::string text;
    for (const std::string& name : names) text += kClaimMark + name + "\r\n";
    Append(text);
    m_claimed.insert(m_claimed.end(), names.begin(), names.end());
}

void COutputFolder::Disown(const std::vector<std::string>& names) {
    if (!Journaling() || names.empty()) return;
    std::string text;
    for (const std::string& name : names) {
        text += kDisownMark + name + "\r\n";
        m_claimed.erase(std::remove(m_claimed.begin(), m_claimed.end(), name), m_claimed.end());
    }
    Append(text);
}

void COutputFolder::Publish() {
    if (!Journaling()) return;
    m_journal.Close();
    m_claimed.clear();
    RemoveFileOrThrow(PathOf(kJournalName));
    platform::SyncFolder(m_folder);
}

void COutputFolder::Discard(const std::function<void(const std::string& text)>& tell) noexcept {
    if (!Journaling()) return;
    bool all = true;
    for (auto name = m_claimed.rbegin(); name != m_claimed.rend(); ++name) {
        int error = 0;
        const std::string path = PathOf(*name);
        try {
            if (platform::RemoveFile(path, &error)) {
                if (error == 0 && tell) tell("報告データファイル[" + path + "] 削除しました");
            } else {
                all = false;
                if (tell) tell(platform::FileFailure("削除", path, error).what());
            }
        } catch (...) {
            all = false;  // (no memory for a text): the journal keeps the name for the next run
        }
    }
    m_journal.Close();
    if (all) {
        platform::RemoveFile(PathOf(kJournalName));
        platform::SyncFolder(m_folder);
    }
    m_claimed.clear();
}

void COutputFolder::Release() noexcept {
    m_journal.Close();
    m_lock.Release();
}
