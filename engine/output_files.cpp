#include "engine/output_files.h"

#include <cinttypes>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "support/paths.h"

const char kPartialSuffix[] = ".partial";

namespace {
// Output files beyond this number get four-digit names, which the three-character pattern misses.
constexpr std::int64_t kPatternFileLimit = 999;
}  // namespace

COutputFiles::COutputFiles(std::string folder, std::string base)
    : m_folder(std::move(folder)), m_base(std::move(base)) {}

std::string COutputFiles::FinalName(const std::string& base, std::int64_t number) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "_%03" PRId64 ".CSV", number);
    return base + buffer;
}

std::string COutputFiles::FinalPath(std::int64_t number) const { return JoinPath(m_folder, FinalName(m_base, number)); }

std::string COutputFiles::WritePath(std::int64_t number) const {
    if (number == 1 && m_continuesFirst) return FinalPath(1);
    return FinalPath(number) + kPartialSuffix;
}

bool COutputFiles::Interrupted(const std::string& folder, const std::string& base) {
    std::vector<std::string> leftovers;
    ListFiles(folder, base + "_*.CSV" + kPartialSuffix, 0, leftovers);
    return !leftovers.empty();
}

void COutputFiles::Prepare() {
    if (Interrupted(m_folder, m_base)) {
        // The renames run from the first file to the last, and every temporary file is complete
        // before the first of them: while one is left, the set under final names is not whole.
        std::vector<std::string> finals;
        ListFiles(m_folder, m_base + "_*.CSV", 0, finals);
        for (const std::string& name : finals) {
            const std::string number = name.substr(m_base.size() + 1, name.size() - m_base.size() - 5);
            const bool numbered = number.size() >= 3 && number.find_first_not_of("0123456789") == std::string::npos;
            if (numbered) DeleteFileIfExists(JoinPath(m_folder, name));
        }
        DeleteMatchingFiles(m_folder, m_base + "_*.CSV" + kPartialSuffix);
    }
    m_continuesFirst = FileExists(FinalPath(1));
}

std::string COutputFiles::Commit(std::int64_t count) {
    for (std::int64_t number = 1; number <= count; ++number) {
        if (number == 1 && m_continuesFirst) continue;
        if (!platform::RenameFile(WritePath(number), FinalPath(number))) return FinalPath(number);
    }
    if (!platform::SyncFolder(m_folder)) return m_folder;
    return std::string();
}

void COutputFiles::DeleteAll(std::int64_t count) {
    // The temporary files first: they are surely ours, while a final name may be held by
    // something else (a folder of that name), whose failed deletion ends this one.
    DeleteMatchingFiles(m_folder, m_base + "_*.CSV" + kPartialSuffix);
    DeleteMatchingFiles(m_folder, m_base + "_???.csv");
    for (std::int64_t number = kPatternFileLimit + 1; number <= count; ++number) DeleteFileIfExists(FinalPath(number));
}
