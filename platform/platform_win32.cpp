// The Windows side: the wide (UTF-16) API only, with every text converted from and to code page 932
// explicitly, so that Japanese paths work whatever the system's code page is.
#include <windows.h>
// (windows.h first: the shell headers need its types.)
#include <shellapi.h>
#include <shlobj.h>

// windows.h maps WriteConsole to WriteConsoleW; ours is platform::WriteConsole.
#undef WriteConsole

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "base/mbcs.h"
#include "platform/platform.h"
#include "platform/platform_faults.h"
#include "platform/win32_text.h"

namespace platform {

const char kPathSeparator = '\\';
const bool kCaseSensitiveFileSystem = false;
// With the customer bit (1 << 29), which no code of the system has.
const int kErrorNotRegular = 0x20000001;

namespace {

constexpr UINT kCodePage = 932;

// Bytes of codePage to UTF-16, appended to out when every byte belongs to a character; false (out
// unchanged) otherwise.
bool AppendWide(UINT codePage, const char* bytes, std::size_t size, std::wstring& out) {
    if (size == 0) return true;
    const int length = static_cast<int>(size);
    const int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
    if (count <= 0) return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(count));
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, out.data() + start, count);
    return true;
}

// UTF-16 to codePage appended to out; false (out unchanged) when it cannot be converted. exact (code
// page 932 only): also false when code page 932 lacks a character (no best fit, no default character).
bool AppendNarrow(const std::wstring& text, UINT codePage, bool exact, std::string& out) {
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL lacking = FALSE;
    const int count =
        WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, exact ? &lacking : nullptr);
    if (count <= 0 || lacking) return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(count));
    WideCharToMultiByte(codePage, flags, text.data(), length, out.data() + start, count, nullptr, nullptr);
    return true;
}

// Code page 932 to UTF-16. A byte that is no character becomes U+FFFD (UTF-16 cannot keep it).
std::wstring Widen(const std::string& text) {
    std::wstring out;
    if (AppendWide(kCodePage, text.data(), text.size(), out)) return out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t size = CharLength(text, pos);
        if (!AppendWide(kCodePage, text.data() + pos, size, out)) out += L'\xFFFD';
        pos += size;
    }
    return out;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
    std::string out;
    AppendNarrow(text, codePage, false, out);
    return out;
}

// The UTF-8 text of size bytes at pos to code page 932, appended to out; false (out unchanged) when
// it is not valid UTF-8 or code page 932 lacks one of its characters.
bool NarrowUtf8(const std::string& text, std::size_t pos, std::size_t size, std::string& out) {
    std::wstring wide;
    return AppendWide(CP_UTF8, text.data() + pos, size, wide) && AppendNarrow(wide, kCodePage, true, out);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "C:" or "C:\" (either separator).
bool IsDriveRoot(const std::wstring& path) {
    bool drive = path.size() >= 2 && path[1] == L':' &&
                 ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    return drive && (path.size() == 2 || (path.size() == 3 && IsSeparator(path[2])));
}

// The text that fill(buffer, size) writes, with a buffer as large as it asks for: fill returns the
// length written, the size needed when the buffer is too small, or 0 on failure (then empty).
template <class Fill>
std::wstring FilledText(const Fill& fill) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD written = fill(text.data(), static_cast<DWORD>(text.size()));
        if (written == 0) return std::wstring();
        if (written < text.size()) {
            text.resize(written);
            return text;
        }
        text.resize(written + 1);
    }
}

// The absolute form of path (GetFullPathNameW, which also turns '/' into '\' and resolves "." and
// ".."); empty when it cannot be had.
std::wstring FullPathName(const std::wstring& path) {
    return FilledText(
        [&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
}

// The path every file call of this side is given: absolute and extended-length, so that no limit
// of the classic interface applies to it whatever its length. C:\a becomes \\?\C:\a, and
// \\server\share\a becomes \\?\UNC\server\share\a. The system takes an extended-length path as it
// is, so it is made absolute first. A path already extended and a device's (\\.\CON, as
// GetFullPathNameW makes of CON or NUL) are kept as they are.
std::wstring LongPath(const std::string& path) {
    const std::wstring wide = Widen(path);
    if (wide.empty() || wide.starts_with(L"\\\\?\\")) return wide;
    const std::wstring full = FullPathName(wide);
    if (full.empty()) return wide;
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (IsSeparator(full[0]) && full.size() >= 2 && IsSeparator(full[1])) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A folder opened as a file: ERROR_DIRECTORY_NOT_SUPPORTED (which this SDK does not name), where the
// system itself says only "access denied".
constexpr int kErrorFolder = 336;

bool IsFolder(const std::wstring& longPath) {
    const DWORD attributes = GetFileAttributesW(longPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Volume serial and file index: the file's identity; empty when it cannot be had.
std::string FileIdentity(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%08lX-%08lX%08lX", static_cast<unsigned long>(info.dwVolumeSerialNumber),
                  static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    return text;
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

HANDLE StreamHandle(Stream stream) {
    return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

int LastError() { return static_cast<int>(GetLastError()); }

// ReadFile and WriteFile take 32-bit counts; larger transfers go in pieces of this size.
constexpr std::size_t kMaxTransfer = 1u << 30;

// The short (8.3) form of an existing entry's path; empty when it cannot be had.
std::wstring ShortPathName(const std::wstring& path) {
    return FilledText([&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(path.c_str(), buffer, size); });
}

std::string KnownFolderPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return std::string();
    std::string converted;
    return Cp932Path(path, converted) ? converted : std::string();
}

// The version of the running system, as the system itself counts it (not as it tells an older
// program).
bool IsWindows10OrLater() {
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto rtlGetVersion = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    return rtlGetVersion != nullptr && rtlGetVersion(&version) == 0 && version.dwMajorVersion >= 10;
}

std::atomic<bool (*)()> g_interruptHandler{nullptr};

// FALSE passes the event on to the default handling, which ends the process.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    auto handler = g_interruptHandler.load();
    return handler != nullptr && handler() ? TRUE : FALSE;
}

}  // namespace

int FaultError(Fault fault) {
    return fault == Fault::DiskFull ? ERROR_DISK_FULL
           : fault == Fault::Locked ? ERROR_SHARING_VIOLATION
                                    : ERROR_IO_DEVICE;
}

bool Cp932Path(const std::wstring& path, std::string& out) {
    if (ExactCp932(path, out)) return true;
    // The entry's own short form; for a path whose last parts do not exist yet, that of its longest
    // existing part, with the rest as it is.
    std::wstring existing = FullPathName(path);
    std::wstring rest;
    while (!existing.empty()) {
        const std::wstring shortForm = ShortPathName(existing);
        if (!shortForm.empty()) return ExactCp932(shortForm + rest, out);
        const std::size_t cut = existing.find_last_of(L"\\/");
        if (cut == std::wstring::npos) break;
        // A drive's root keeps its separator ("C:\"), any other folder loses it.
        const std::size_t keep = cut == 2 && existing[1] == L':' ? 3 : cut;
        if (keep >= existing.size()) break;
        rest = existing.substr(keep) + rest;
        existing.resize(keep);
    }
    out.clear();
    return false;
}

std::string ToCp932(const std::wstring& text) { return Narrow(text, kCodePage); }

bool ExactCp932(const std::wstring& text, std::string& out) {
    out.clear();
    return AppendNarrow(text, kCodePage, true, out);
}

// ---- File ----

namespace {

// 0 when the handle is of a regular file that an open may keep, else the error of its refusal: a
// folder, a device, a pipe, or a symbolic link or junction opened as itself (asItself). A reparse
// point of another kind keeps the file's own data elsewhere (a cloud file's placeholder, a
// deduplicated file) and is the file itself: *placeholder tells that one was opened as itself,
// where only an open that follows it reads the data.
int RefusalOf(HANDLE handle, bool asItself, bool* placeholder) {
    *placeholder = false;
    if (GetFileType(handle) != FILE_TYPE_DISK) return kErrorNotRegular;
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) return LastError();
    if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kErrorFolder;
    if (info.FileAttributes & FILE_ATTRIBUTE_DEVICE) return kErrorNotRegular;
    if (asItself && (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (IsReparseTagNameSurrogate(info.ReparseTag)) return kErrorNotRegular;
        *placeholder = true;
    }
    return 0;
}

}  // namespace

int OpenHandle(const std::string& path, unsigned flags, std::intptr_t& opened) {
    const unsigned accessMode = flags & 0x3;
    const DWORD access = accessMode == File::modeWrite       ? GENERIC_WRITE
                         : accessMode == File::modeReadWrite ? GENERIC_READ | GENERIC_WRITE
                                                             : GENERIC_READ;
    const bool create = (flags & File::modeCreate) != 0;
    const DWORD disposition = !create ? OPEN_EXISTING : (flags & File::modeNoTruncate) ? OPEN_ALWAYS : CREATE_NEW;
    // A link at the name is opened as itself (and then refused), never followed.
    const bool noFollow = create || (flags & File::modeNoFollow) != 0;
    const std::wstring name = LongPath(path);
    const DWORD attributes = FILE_ATTRIBUTE_NORMAL | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE handle = CreateFileW(name.c_str(), access, 0, nullptr, disposition, attributes, nullptr);
    bool placeholder = false;
    int failure = handle == INVALID_HANDLE_VALUE ? LastError() : RefusalOf(handle, noFollow, &placeholder);
    if (failure == 0 && placeholder) {
        // Opened once more for the data, and still the same file (not a link put in its place).
        const std::string identity = FileIdentity(handle);
        CloseHandle(handle);
        handle = CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        failure = handle == INVALID_HANDLE_VALUE ? LastError() : RefusalOf(handle, false, &placeholder);
        if (failure == 0 && (identity.empty() || FileIdentity(handle) != identity)) failure = kErrorNotRegular;
    }
    if (handle != INVALID_HANDLE_VALUE && failure != 0) CloseHandle(handle);
    // The system refuses to open a folder as a file with "access denied"; it is told as what it is.
    if (failure == ERROR_ACCESS_DENIED && IsFolder(name)) failure = kErrorFolder;
    if (failure == 0) opened = reinterpret_cast<std::intptr_t>(handle);
    return failure;
}

int ReadHandle(std::intptr_t handle, char* buffer, std::size_t size, std::size_t& count) noexcept {
    DWORD done = 0;
    const BOOL read =
        ReadFile(Handle(handle), buffer, static_cast<DWORD>(std::min(size, kMaxTransfer)), &done, nullptr);
    count = done;
    return read ? 0 : LastError();
}

int WriteHandle(std::intptr_t handle, const char* bytes, std::size_t size, std::size_t& count) noexcept {
    DWORD done = 0;
    const BOOL written =
        WriteFile(Handle(handle), bytes, static_cast<DWORD>(std::min(size, kMaxTransfer)), &done, nullptr);
    count = done;
    if (!written) return LastError();
    return done == 0 ? ERROR_DISK_FULL : 0;  // a file that takes nothing more
}

std::uint64_t File::Seek(std::int64_t offset, Origin origin) {
    DWORD method = origin == Origin::Begin ? FILE_BEGIN : origin == Origin::Current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(Handle(m_handle), distance, &position, method)) {
        throw FileFailure("位置移動", m_path, LastError());
    }
    return static_cast<std::uint64_t>(position.QuadPart);
}

std::uint64_t File::GetLength() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(Handle(m_handle), &size)) throw FileFailure("サイズ取得", m_path, LastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

int FlushHandle(std::intptr_t handle) noexcept { return FlushFileBuffers(Handle(handle)) ? 0 : LastError(); }

void CloseFileHandle(std::intptr_t handle) noexcept { CloseHandle(Handle(handle)); }

// ---- Folders and names ----

bool PathExists(const std::string& path) {
    if (path.empty()) return false;
    const std::wstring wide = Widen(path);
    // A directory search cannot find a root, so a root is asked for its attributes.
    if (IsDriveRoot(wide)) return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    // Wildcards (the system's own included; not the '?' of an extended-length prefix) would make the
    // search find other names; a trailing separator finds nothing.
    const std::size_t start = wide.starts_with(L"\\\\?\\") ? 4 : 0;
    if (wide.find_first_of(L"*?<>\"", start) != std::wstring::npos || IsSeparator(wide.back())) return false;
    // The entry itself, a link as a link.
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(LongPath(path).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

std::vector<std::string> FindEntries(const std::string& folder, const std::string& pattern, bool regularOnly) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    // The pattern is matched here rather than by the search, whose '?' may match no character at
    // all before a point and which also matches the short (8.3) names of long ones.
    std::wstring search = LongPath(folder);
    if (!IsSeparator(search.back())) search += L'\\';
    search += L'*';
    WIN32_FIND_DATAW data;
    HANDLE found = FindFirstFileW(search.c_str(), &data);
    if (found == INVALID_HANDLE_VALUE) return names;
    do {
        if (regularOnly && (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) continue;
        std::string name = ToCp932(data.cFileName);
        if (name != "." && name != ".." && MatchesPattern(pattern, name)) names.push_back(std::move(name));
    } while (FindNextFileW(found, &data));
    FindClose(found);
    SortNamesCaseBlind(names);
    return names;
}

bool RemoveFile(const std::string& path, int* error) {
    if (const int injected = InjectedError(FileOperation::Delete, path)) return Succeeded(injected, error);
    // A link is deleted itself, never its target.
    if (DeleteFileW(LongPath(path).c_str())) return true;
    const int failure = LastError();
    if (error != nullptr) *error = failure;
    return IsMissingError(failure);
}

bool RenameFile(const std::string& from, const std::string& to, int* error) {
    int failure = InjectedError(FileOperation::Rename, from);
    if (failure == 0 && !MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        failure = LastError();
    }
    return Succeeded(failure, error);
}

bool IsLockedError(int error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }
bool IsExistsError(int error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }
bool IsMissingError(int error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// ---- Folder lock ----

FolderLock::Result FolderLock::Acquire(const std::string& folder, int* error) {
    Release();
    std::wstring name = LongPath(folder);
    if (name.empty() || !IsSeparator(name.back())) name += L'\\';
    name += Widen(kFolderLockName);
    // Held by no one else (share mode 0), and gone with the handle, also when the process is killed.
    HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool placeholder = false;
    int failure = handle == INVALID_HANDLE_VALUE ? LastError() : RefusalOf(handle, true, &placeholder);
    if (failure == ERROR_ACCESS_DENIED && IsFolder(name)) failure = kErrorFolder;
    if (failure != 0) {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        if (error != nullptr) *error = failure;
        return IsLockedError(failure) ? Result::Busy : Result::Failed;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    return Result::Locked;
}

void FolderLock::Release() noexcept {
    if (m_handle != -1) CloseHandle(Handle(m_handle));
    m_handle = -1;
}

// Renames are write-through here: there is nothing left to make durable.
bool SyncFolder(const std::string&, int*) { return true; }

bool MakeDirectory(const std::string& path, int* error) {
    return Succeeded(CreateDirectoryW(LongPath(path).c_str(), nullptr) ? 0 : LastError(), error);
}

std::string ErrorText(int error) {
    if (error == kErrorNotRegular) return "通常のファイルではありません";
    wchar_t* text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) LocalFree(text);
    // The system ends its texts with a line break (npos + 1 is 0: a text of blanks goes whole).
    message.erase(message.find_last_not_of(L"\r\n ") + 1);
    // Older systems have no text of their own for a folder opened as a file.
    if (message.empty() && error == kErrorFolder) return "フォルダはファイルとして開けません";
    return ToCp932(message);
}

std::string GetKnownFolder(KnownFolder folder) {
    switch (folder) {
        case KnownFolder::UserData: return KnownFolderPath(CSIDL_APPDATA);
        case KnownFolder::CommonAppData: return KnownFolderPath(CSIDL_COMMON_APPDATA);
        case KnownFolder::ProgramFiles: return KnownFolderPath(CSIDL_PROGRAM_FILES);
        case KnownFolder::Windows: return KnownFolderPath(CSIDL_WINDOWS);
    }
    return std::string();
}

std::vector<std::string> ProtectedFolders() {
    // A folder that cannot be had is left out: as an empty prefix it would match every folder.
    std::vector<std::string> folders;
    for (KnownFolder folder : {KnownFolder::CommonAppData, KnownFolder::ProgramFiles, KnownFolder::Windows}) {
        std::string path = GetKnownFolder(folder);
        if (!path.empty()) folders.push_back(std::move(path));
    }
    return folders;
}

// ---- Clock ----

bool ToLocalTime(std::int64_t time, std::tm& out) {
    std::time_t seconds = static_cast<std::time_t>(time);
    return localtime_s(&out, &seconds) == 0;
}

double MonotonicSeconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void SleepMilliseconds(int milliseconds) {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

void OpenInTextEditor(const std::string& path) {
    ShellExecuteW(nullptr, L"open", L"notepad.exe", Widen(path).c_str(), nullptr, SW_SHOW);
}

// ---- Console ----

bool WriteConsole(Stream stream, const std::string& text, int* error) {
    if (text.empty()) return true;
    HANDLE handle = StreamHandle(stream);
    int failure = 0;
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        failure = ERROR_INVALID_HANDLE;
    } else if (GetConsoleMode(handle, &mode)) {
        // In pieces: older consoles refuse one large write.
        const std::wstring wide = Widen(text);
        constexpr std::size_t kPiece = 8192;
        for (std::size_t done = 0; done < wide.size() && failure == 0;) {
            DWORD written = 0;
            const DWORD wanted = static_cast<DWORD>(std::min(wide.size() - done, kPiece));
            if (!WriteConsoleW(handle, wide.data() + done, wanted, &written, nullptr)) {
                failure = LastError();
            } else if (written == 0) {
                failure = ERROR_WRITE_FAULT;
            }
            done += written;
        }
    } else {
        // Redirected: bytes in the console's code page when that is 932, UTF-8 otherwise.
        const std::string bytes = GetConsoleOutputCP() == kCodePage ? text : Narrow(Widen(text), CP_UTF8);
        failure = WriteAll(reinterpret_cast<std::intptr_t>(handle), bytes.data(), bytes.size());
    }
    return Succeeded(failure, error);
}

bool IsTerminal(Stream stream) {
    DWORD mode = 0;
    return GetConsoleMode(StreamHandle(stream), &mode) != 0;
}

int TerminalColumns(Stream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(StreamHandle(stream), &info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

bool TerminalTakesEscapes(Stream stream) {
    constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
    const HANDLE handle = StreamHandle(stream);
    DWORD mode = 0;
    // Windows 7 and 8.1 refuse the mode; so does the legacy console of Windows 10.
    if (!GetConsoleMode(handle, &mode) || !IsWindows10OrLater()) return false;
    return (mode & kVirtualTerminal) != 0 || SetConsoleMode(handle, mode | kVirtualTerminal) != 0;
}

bool OwnsConsoleAlone() {
    // A command prompt shares its console with the programs it starts; Explorer gives a console
    // program one of its own.
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) || !IsTerminal(Stream::Out)) return false;
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void WaitForEnter() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode)) return;
    // Line input: a read returns once Enter is pressed.
    SetConsoleMode(input, mode | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT);
    FlushConsoleInputBuffer(input);
    wchar_t buffer[256];
    DWORD read = 0;
    while (ReadConsoleW(input, buffer, 256, &read, nullptr) && read > 0) {
        if (std::find_if(buffer, buffer + read, [](wchar_t c) { return c == L'\r' || c == L'\n'; }) != buffer + read)
            break;
    }
}

void LoadLibrariesFromSystemOnly() {
    // SetDefaultDllDirectories is in Windows 8 and later, and in Windows 7 with its update
    // KB2533623: asked for by name, so that the program still starts without it. There, at least
    // the current folder leaves the search.
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDirectories>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

std::vector<std::string> CommandLineArguments(int, char**) {
    // The narrow argv is in the system's code page, which need not be 932; the wide command line is whole.
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 1; i < count; ++i) {
        std::string argument;
        // A path that code page 932 cannot hold is taken in its short form, which names the same.
        if (!Cp932Path(wide[i], argument)) {
            const std::string shown = Narrow(wide[i], CP_UTF8);
            LocalFree(wide);
            throw std::runtime_error("argument '" + shown + "' has characters that code page 932 cannot hold");
        }
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
    return arguments;
}

std::string AbsolutePath(const std::string& path, bool* exact) {
    if (exact != nullptr) *exact = true;
    const std::wstring full = FullPathName(Widen(path));
    if (full.empty()) return path;
    std::string converted;
    if (Cp932Path(full, converted)) return converted;
    if (exact != nullptr) *exact = false;
    return path;
}

void InstallInterruptHandler(bool (*handler)()) {
    g_interruptHandler.store(handler);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// ---- Text conversion ----

std::string Cp932ToUtf8(const std::string& text) {
    std::wstring wide;
    if (AppendWide(kCodePage, text.data(), text.size(), wide)) return Narrow(wide, CP_UTF8);
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t size = CharLength(text, pos);
        wide.clear();
        if (AppendWide(kCodePage, text.data() + pos, size, wide)) {
            out += Narrow(wide, CP_UTF8);
        } else {
            out.append(text, pos, size);  // no character: kept as it is
        }
        pos += size;
    }
    return out;
}

std::string Utf8ToCp932(const std::string& text) {
    std::string out;
    if (NarrowUtf8(text, 0, text.size(), out)) return out;
    for (std::size_t pos = 0; pos < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[pos]);
        std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        size = std::min(size, text.size() - pos);
        if (lead >= 0x80 && NarrowUtf8(text, pos, size, out)) {
            pos += size;
        } else {
            out += text[pos++];  // ASCII, or bytes code page 932 cannot take: kept as they are
        }
    }
    return out;
}

}  // namespace platform
