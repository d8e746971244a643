#include "engine/output_folder.h"

#include <algorithm>

#include "base/file_error.h"
#include "engine/checksum_manifest.h"
#include "engine/result_report.h"
#include "support/paths.h"

const char kJournalName[] = "Tolvarenquista.journal";

namespace {

// A journal names a few files per input; anything larger is not one of ours.
constexpr std::size_t kMaxJournalSize = 1 << 20;
constexpr char kClaimMark = '+';
constexpr char kDisownMark = '-';
constexpr char kPartial[] = ".partial";
constexpr std::size_t kBaseDigits = 14;

bool AllDigits(const std::string& text, std::size_t from, std::size_t to) {
    return from < to &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.begin() + static_cast<std::ptrdiff_t>(to),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string WithoutPartial(const std::string& name) {
    return EndsWith(name, kPartial) ? name.substr(0, name.size() - std::string(kPartial).size()) : name;
}

}  // namespace

bool COutputFolder::IsRunFileName(const std::string& name) {
    const std::string stem = WithoutPartial(name);
    if (!AllDigits(stem, 0, kBaseDigits) || stem.size() <= kBaseDigits || stem[kBaseDigits] != '_') return false;
    const std::string digits = stem.substr(0, kBaseDigits);
    if (stem == digits + kReportSuffix || stem == digits + kManifestSuffix) return true;
    return EndsWith(stem, ".CSV") && stem.size() >= kBaseDigits + 1 + 3 + 4 &&
           AllDigits(stem, kBaseDigits + 1, stem.size() - 4);
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
    switch (m_lock.Acquire(folder, &error)) {
        case platform::FolderLock::Result::Busy: return LockResult::Busy;
        case platform::FolderLock::Result::Failed:
            if (reason != nullptr) *reason = platform::ErrorText(error);
            return LockResult::Failed;
        case platform::FolderLock::Result::Locked: break;
    }

    // The journal of an earlier run that did not end (killed, or unable to remove its files).
    platform::File journal;
    if (!journal.Open(PathOf(kJournalName), platform::File::modeRead | platform::File::modeNoFollow, &error)) {
        if (platform::IsMissingError(error)) return LockResult::Locked;
        if (reason != nullptr) *reason = platform::FileFailure("読込み", PathOf(kJournalName), error).what();
        m_lock.Release();
        return LockResult::Failed;
    }
    std::string text;
    try {
        if (journal.GetLength() > kMaxJournalSize) throw FileError("読込み", PathOf(kJournalName), 0, "too large");
        text.resize(static_cast<std::size_t>(journal.GetLength()));
        text.resize(journal.Read(text.data(), text.size()));
    } catch (const FileError& failure) {
        if (reason != nullptr) *reason = failure.what();
        m_lock.Release();
        return LockResult::Failed;
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
        if (EndsWith(name, kReportSuffix) && platform::PathExists(PathOf(name)) &&
            !platform::PathExists(PathOf(name + kPartial))) {
            journal.Close();
            if (platform::RemoveFile(PathOf(kJournalName))) m_oldJournal = false;
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
            int error = 0;
            if (!platform::RemoveFile(PathOf(name), &error)) throw platform::FileFailure("削除", PathOf(name), error);
            if (error == 0 && removed) removed(name);
        }
        int error = 0;
        if (!platform::RemoveFile(PathOf(kJournalName), &error)) {
            throw platform::FileFailure("削除", PathOf(kJournalName), error);
        }
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
    int error = 0;
    if (!platform::RemoveFile(PathOf(kJournalName), &error)) {
        throw platform::FileFailure("削除", PathOf(kJournalName), error);
    }
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
