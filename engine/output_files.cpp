#include "engine/output_files.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

#include "base/file_error.h"
#include "base/mbcs.h"
#include "engine/output_folder.h"
#include "platform/platform.h"
#include "support/paths.h"

const char kPartialSuffix[] = ".partial";

COutputFiles::COutputFiles(std::string folder, std::string base, COutputFolder* journal)
    : m_folder(std::move(folder)), m_base(std::move(base)), m_journal(journal) {}

std::string COutputFiles::FinalName(const std::string& base, std::int64_t number) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "_%03" PRId64 ".CSV", number);
    return base + buffer;
}

bool COutputFiles::IsOutputName(const std::string& base, const std::string& name) {
    // "_001" to "_999", then "_1000" to "_9999": never "_bak" nor a date such as "_20240101".
    const std::string upper = ToUpperAscii(name);
    const std::size_t digits = upper.size() - std::min(upper.size(), base.size() + 1 + 4);
    if ((digits != 3 && digits != 4) || upper.compare(0, base.size(), ToUpperAscii(base)) != 0 ||
        upper[base.size()] != '_' || upper.compare(upper.size() - 4, 4, ".CSV") != 0) {
        return false;
    }
    const std::string_view number = std::string_view(upper).substr(base.size() + 1, digits);
    return AllDigits(number) && !(digits == 4 && number[0] == '0');
}

std::string COutputFiles::FinalPath(std::int64_t number) const { return JoinPath(m_folder, FinalName(m_base, number)); }

std::string COutputFiles::WritePath(std::int64_t number) const { return FinalPath(number) + kPartialSuffix; }

void COutputFiles::Claim(std::int64_t number) {
    if (m_journal != nullptr) m_journal->Claim({FinalName(m_base, number) + kPartialSuffix});
}

void COutputFiles::Disown(std::int64_t number) {
    if (m_journal != nullptr) m_journal->Disown({FinalName(m_base, number) + kPartialSuffix});
}

void COutputFiles::Created(std::int64_t number) { m_created.push_back(number); }

void COutputFiles::Written(std::int64_t number, const Sha256Digest& digest) {
    m_digests.push_back({FinalName(m_base, number), digest});
}

std::vector<std::string> COutputFiles::UncommittedNames() const {
    std::vector<std::string> names;
    for (std::size_t i = m_committed; i < m_created.size(); ++i) names.push_back(FinalName(m_base, m_created[i]));
    return names;
}

std::string COutputFiles::Commit(std::string* reason) {
    // The final names are journaled in one piece before the first rename.
    if (m_journal != nullptr && m_committed < m_created.size()) {
        try {
            m_journal->Claim(UncommittedNames());
        } catch (const FileError& error) {
            if (reason != nullptr) *reason = error.Reason();
            return FinalPath(m_created[m_committed]);
        }
    }
    for (; m_committed < m_created.size(); ++m_committed) {
        const std::int64_t number = m_created[m_committed];
        int error = 0;
        if (!platform::RenameFile(WritePath(number), FinalPath(number), &error)) {
            if (reason != nullptr) *reason = platform::ErrorText(error);
            // A final name that is taken belongs to someone else: it is not ours to delete.
            if (platform::IsExistsError(error) && m_journal != nullptr) m_journal->Disown(UncommittedNames());
            return FinalPath(number);
        }
    }
    int error = 0;
    if (!platform::SyncFolder(m_folder, &error)) {
        if (reason != nullptr) *reason = platform::ErrorText(error);
        return m_folder;
    }
    return std::string();
}

void COutputFiles::DeleteAll() {
    // Last made first; each under the name it has now, and given up once it is gone.
    while (!m_created.empty()) {
        const std::int64_t number = m_created.back();
        const bool renamed = m_created.size() <= m_committed;
        const std::string path = renamed ? FinalPath(number) : WritePath(number);
        RemoveFileOrThrow(path);
        if (m_journal != nullptr) {
            std::vector<std::string> names{FinalName(m_base, number) + kPartialSuffix};
            if (renamed) names.push_back(FinalName(m_base, number));
            m_journal->Disown(names);
        }
        m_created.pop_back();
        if (renamed) --m_committed;
    }
}
