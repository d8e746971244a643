// Free functions to test, list, create and delete files and folders, to split texts, and to show a
// file size. They hold no state and may run on any thread. Texts are code page 932 byte strings;
// paths use the platform's separator (platform::kPathSeparator).
// Failed file operations raise FileError (base/file_error.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// folder + separator + name.
std::string JoinPath(const std::string& folder, const std::string& name);

// Size of a file in bytes; throws FileError when it cannot be had (missing file, folder, locked file).
std::uint64_t GetFileLength(const std::string& path);
// Appends to entries one text per entry of folder matching pattern ("." and ".." left out), in name
// order: the full path when fullPaths is 1, else the bare name; upper-cased (on a case-sensitive file
// system full paths keep their real letters, so that they still name the same files). With
// regularOnly, only regular files (a link to one counts).
void ListFiles(const std::string& folder, const std::string& pattern, int fullPaths, std::vector<std::string>& entries,
               bool regularOnly = false);
// Deletes a file; one that is not there counts as deleted. Throws FileError when it cannot be deleted.
// True when a file was there.
bool RemoveFileOrThrow(const std::string& path);
// Creates the folder and every missing folder above it; true when all of them exist at the end.
bool CreateFolderTree(const std::string& path);
// Appends the pieces of text between separators (empty pieces kept) to pieces; returns pieces.size().
int SplitText(const std::string& text, const std::string& separator, std::vector<std::string>& pieces);
// "1.5 KB", "1023.9 MB", "4.6 GB": powers of 1024, cut (never rounded up) to one decimal.
std::string FormatFileSize(std::uint64_t size);
// A count with a comma between each three digits: 1,000.
std::string CountText(std::int64_t count);
