#include "support/paths.h"

#include <cmath>
#include <cstdio>

#include "base/file_error.h"
#include "base/mbcs.h"
#include "platform/platform.h"

namespace {

constexpr double kKiloByte = 1024.0;
constexpr double kMegaByte = 1024.0 * 1024.0;
constexpr double kGigaByte = 1024.0 * 1024.0 * 1024.0;

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
    // A root ("C:\", "/") already ends with its separator.
    if (!folder.empty() && FindLastChar(folder, platform::kPathSeparator) == folder.size() - 1) return folder + name;
    return folder + platform::kPathSeparator + name;
}

std::uint64_t GetFileLength(const std::string& path) {
    platform::File file;
    int error = 0;
    if (!file.Open(path, platform::File::modeRead, &error)) throw platform::FileFailure("サイズ取得", path, error);
    return file.GetLength();
}

void ListFiles(const std::string& folder, const std::string& pattern, int fullPaths, std::vector<std::string>& entries,
               bool regularOnly) {
    for (const auto& name : platform::FindEntries(folder, pattern, regularOnly)) {
        const std::string entry = fullPaths == 1 ? JoinPath(folder, name) : name;
        entries.push_back(fullPaths == 1 && platform::kCaseSensitiveFileSystem ? entry : ToUpperAscii(entry));
    }
}

bool RemoveFileOrThrow(const std::string& path) {
    int error = 0;
    if (!platform::RemoveFile(path, &error)) throw platform::FileFailure("削除", path, error);
    return error == 0;
}

bool CreateFolderTree(const std::string& path) {
    std::vector<std::string> pieces;
    SplitText(path, std::string(1, platform::kPathSeparator), pieces);
    // The first piece is a drive ("C:"), which exists or cannot be made, or empty for the root of
    // an absolute POSIX path; a relative path starts with a folder of its own.
    std::string built = pieces.front();
    if (!built.empty() && !platform::PathExists(built) && !platform::MakeDirectory(built)) return false;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        built += platform::kPathSeparator + pieces[i];
        if (!platform::PathExists(built) && !platform::MakeDirectory(built)) return false;
    }
    return true;
}

int SplitText(const std::string& text, const std::string& separator, std::vector<std::string>& pieces) {
    std::size_t start = 0;
    std::size_t end;
    while (!separator.empty() && (end = FindText(text, separator, start)) != std::string::npos) {
        pieces.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    pieces.emplace_back(text, start, std::string::npos);
    return static_cast<int>(pieces.size());
}

std::string FormatFileSize(std::uint64_t size) {
    const double bytes = static_cast<double>(size);
    const double unit = bytes >= kGigaByte ? kGigaByte : bytes >= kMegaByte ? kMegaByte : kKiloByte;
    const char* format = unit == kGigaByte ? "%.1f GB" : unit == kMegaByte ? "%.1f MB" : "%.1f KB";
    // Cut to one decimal, never rounded up: 1023.99 KB shows as 1023.9 KB.
    double value = std::floor(bytes / unit * 10.0) * 0.1;
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string CountText(std::int64_t count) {
    std::string digits = std::to_string(count < 0 ? -count : count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return count < 0 ? "-" + digits : digits;
}
