// The operating system as the engine sees it: files, folders, known folders, the clock and the console.
// One implementation per side (platform_posix.cpp, platform_win32.cpp), chosen by the build.
// Every path and text here is a code page 932 byte string; each side converts at its own OS boundary
// (UTF-8 on POSIX, UTF-16 on Windows). All functions may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/file_error.h"

namespace platform {

// The path separator of this side: '/' on POSIX, '\\' on Windows.
extern const char kPathSeparator;
// True where the file system tells letter case apart (POSIX): listings then keep the real names of
// full paths, since an upper-cased folder part would name another folder.
extern const bool kCaseSensitiveFileSystem;

// An open file, in binary mode, opened exclusively (no other opener may share it while it is open).
// Only regular files are opened: a folder, a FIFO or a device is refused at once (kErrorNotRegular
// for the last two), and a FIFO is never opened in a way that waits for a writer.
// Read, Write, Seek, GetLength and Sync throw FileError on failure; Open reports by result.
class File {
public:
    enum : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        // Creates a new file: fails (IsExistsError) when the name is taken by anything, a link, a
        // reparse point or a dangling link included. Never replaces, never empties, never follows.
        modeCreate = 0x1000,
        // With modeCreate: opens the file when it exists (contents kept), else creates it; a link
        // or reparse point at path is refused, never followed. (The daily log.)
        modeNoTruncate = 0x2000,
        // Without modeCreate: a link or reparse point at path (its last component) is refused.
        modeNoFollow = 0x4000,
    };
    enum class Origin { Begin, Current, End };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path with the given flags. True when open; false with the system's error code in *error.
    // Held by another opener: false at once, with an error for which IsLockedError is true.
    bool Open(const std::string& path, unsigned flags, int* error = nullptr);
    // Reads up to size bytes; returns the count read, 0 at the end of the file.
    std::size_t Read(void* buffer, std::size_t size);
    // Writes all size bytes.
    void Write(const void* data, std::size_t size);
    // Moves the file position; returns the new position.
    std::uint64_t Seek(std::int64_t offset, Origin origin);
    std::uint64_t GetLength();
    // Makes what was written durable (on the disk, not only in the system's cache). A failure of a
    // flush started by StartWriteBack is reported here.
    void Sync();
    // Tells that length more bytes were written. Once enough have gathered, a flush of the file
    // starts on a thread of its own, so that the disk works while the caller goes on and the last
    // Sync has little left to wait for. Never waits; a flush that fails is reported by Sync.
    void StartWriteBack(std::uint64_t length) noexcept;
    // Closes the file if it is open. Never throws.
    void Close() noexcept;
    bool IsOpen() const { return m_handle != kInvalid; }

private:
    // The flush running in the background, if any.
    struct BackgroundFlush {
        std::thread thread;
        std::atomic<bool> done{true};
        int error = 0;  // the system's error code of the flush, once done
    };
    // Waits for a background flush; returns the error code of the first that failed, once.
    int FinishBackgroundFlush() noexcept;

    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t m_handle = kInvalid;
    std::string m_path;
    std::uint64_t m_unflushed = 0;  // bytes written since the last background flush started
    int m_flushError = 0;           // of a background flush that failed, for Sync to report
    std::unique_ptr<BackgroundFlush> m_background;
};

// True when an entry (file, folder, link, dangling link included) exists at exactly this path; a
// drive or file-system root counts as existing. An empty path and a path with a trailing separator
// are reported as missing. No length limit of ours: a path the system cannot take is missing.
bool PathExists(const std::string& path);

// The names of the entries of folder that match pattern ('*' any run, '?' one byte, letters without
// regard to case), "." and ".." left out, sorted by name ascending, real names as stored.
// A missing or unreadable folder gives no entries. With regularOnly, only regular files (a link to
// one counts; folders, FIFOs, devices and dangling links do not).
std::vector<std::string> FindEntries(const std::string& folder, const std::string& pattern, bool regularOnly = false);

// Deletes a file (a link itself, never its target). True on success, also when nothing had the
// name (*error is then ENOENT / ERROR_FILE_NOT_FOUND, for callers that care); false with the
// system's error code in *error.
bool RemoveFile(const std::string& path, int* error = nullptr);

// Gives a closed file a new name in the same folder, never replacing anything: when the new name
// is taken the rename fails (IsExistsError). The rename is durable when this returns true on
// Windows (write-through); on POSIX, SyncFolder makes it so. False with the system's error code.
bool RenameFile(const std::string& from, const std::string& to, int* error = nullptr);

// Error classes of this side's codes.
// The file is held by another program (a sharing or lock violation): waiting may clear it.
bool IsLockedError(int error);
// The name is taken (EEXIST; ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS).
bool IsExistsError(int error);
// Nothing has the name (ENOENT; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND).
bool IsMissingError(int error);
// The error of an open that met a FIFO, device or other entry that is not a regular file or folder.
extern const int kErrorNotRegular;

// One run at a time per folder: Acquire marks the folder as used by this process until Release,
// the object's end or the end of the process (a killed process leaves no lock that blocks).
// The mark is a file of its own in the folder (kFolderLockName), removed when released; on POSIX
// a killed process leaves it behind, empty and unlocked, and the next Acquire takes it over.
extern const char kFolderLockName[];  // "Tolvarenquista.lock"
class FolderLock {
public:
    enum class Result { Locked, Busy, Failed };
    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // Locked: this object holds the folder. Busy: another process (or object) holds it. Failed: the
    // lock file could not be made or opened (*error: why; a link or non-regular file at its name is
    // refused, kErrorNotRegular or the side's own code).
    Result Acquire(const std::string& folder, int* error = nullptr);
    void Release() noexcept;
    bool Held() const { return m_handle != -1; }

private:
    std::intptr_t m_handle = -1;
    std::string m_path;  // POSIX: the lock file's, removed at Release (Windows removes it with the handle)
};

// Makes the names of a folder's entries durable (POSIX: fsync of the folder; nothing to do on
// Windows, whose renames are write-through). False with the system's error code in *error.
bool SyncFolder(const std::string& folder, int* error = nullptr);

// Creates one folder (its parent must exist). True on success.
bool MakeDirectory(const std::string& path, int* error = nullptr);

// The system's text for an error code of this side, as code page 932 text.
std::string ErrorText(int error);
// The FileError of a failed operation on path, with the system's text for error.
FileError FileFailure(const std::string& operation, const std::string& path, int error);

// ---- Fault injection ----
// The file operations a test can make fail, as the layer sees them: Open is an open without
// modeCreate, Create one with it; Flush is File::Sync.
enum class FileOperation { Open, Create, Read, Write, Flush, Rename, Delete };
enum class Fault {
    None,
    Failure,   // the side's input/output error
    DiskFull,  // the side's disk-full error
    Locked,    // the side's sharing violation: another program holds the file
};
class IFileFaults {
public:
    virtual ~IFileFaults() = default;
    // Asked before each operation (from any thread). path is the file's path (for a rename, the
    // old name). For Write, allowed starts at the bytes to be written; lowering it with a fault
    // lets that many bytes reach the file before the write fails, as on a disk that fills up.
    virtual Fault Before(FileOperation operation, const std::string& path, std::size_t& allowed) = 0;
};
// Installs faults for the whole process; nullptr removes them. For tests: the program never
// installs any, and then every operation costs one atomic load more.
void SetFileFaults(IFileFaults* faults);

enum class KnownFolder {
    UserData,       // per-user application data (Windows: roaming AppData; POSIX: $XDG_STATE_HOME)
    CommonAppData,  // Windows only; empty on POSIX
    ProgramFiles,   // Windows only; empty on POSIX
    Windows,        // Windows only; empty on POSIX
};
// The path of a known folder, or the empty text when it cannot be had (also when code page 932
// cannot hold it). On Windows a folder whose name holds a character that code page 932 lacks is
// given in its short (8.3) form, which names the same folder, where the volume keeps one.
std::string GetKnownFolder(KnownFolder folder);

// Folders under which output must never be written (the system's own folders).
std::vector<std::string> ProtectedFolders();

// The calendar clock in whole seconds, and its conversion to local time (false when it fails).
std::int64_t Now();
bool ToLocalTime(std::int64_t time, std::tm& out);
void SleepMilliseconds(int milliseconds);
// A steady clock in seconds, with sub-second resolution, for rates and durations.
double MonotonicSeconds();

// Opens a text file in the system's text editor, without waiting and without reporting failure.
void OpenInTextEditor(const std::string& path);

// ---- Console ----
enum class Stream { Out, Err };
// Writes code page 932 text in the terminal's encoding. False (with the system's error code in
// *error) when the stream could not take all of it (a full disk, a closed pipe).
bool WriteConsole(Stream stream, const std::string& text, int* error = nullptr);
bool IsTerminal(Stream stream);
// The width in columns of the terminal the stream writes to: the window's width; where it cannot be
// had (not a terminal), $COLUMNS on POSIX, else 80.
int TerminalColumns(Stream stream);
// The program's arguments (without the program name) as code page 932 text. Throws
// std::runtime_error naming an argument that has characters code page 932 cannot hold (such a
// path could not be found again); on Windows an argument naming an existing entry (or one in an
// existing folder) is first taken in its short (8.3) form.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// Calls handler on Ctrl-C (from a signal or console-control context: it may only store to
// atomics). When the handler returns false, the interrupt ends the process as it would have.
void InstallInterruptHandler(bool (*handler)());
// True when text written to the stream may hold the terminal's escape sequences (a progress line
// cleared with ESC [ K). On Windows only a console of Windows 10 or later that takes its
// virtual-terminal processing (asked for here) does; older consoles print them as they are.
bool TerminalTakesEscapes(Stream stream);
// True when the program is the only one on its console, which it was given when it started
// (Windows: a console program double-clicked in Explorer, whose window closes as it ends).
bool OwnsConsoleAlone();
// Waits until Enter is pressed on the console, or its input ends.
void WaitForEnter();
// Called first by each program: a system DLL loaded later is found in the system folder only,
// never in the program's own folder (a download folder may hold anything) nor the current one.
void LoadLibrariesFromSystemOnly();
#ifndef _WIN32
// The POSIX side: a terminal takes them; no console of its own, and no DLLs.
inline bool TerminalTakesEscapes(Stream stream) { return IsTerminal(stream); }
inline bool OwnsConsoleAlone() { return false; }
inline void WaitForEnter() {}
inline void LoadLibrariesFromSystemOnly() {}
#endif

// The absolute form of an existing folder's path (links resolved on POSIX); the path unchanged
// when it cannot be had, and also when code page 932 cannot hold it (*exact is then false; on
// Windows only where the short form cannot be held either).
std::string AbsolutePath(const std::string& path, bool* exact = nullptr);

// ---- Text conversion at the boundary ----
// Code page 932 to UTF-8 and back; bytes that cannot be converted are kept as they are.
std::string Cp932ToUtf8(const std::string& text);
std::string Utf8ToCp932(const std::string& text);

}  // namespace platform
