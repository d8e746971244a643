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
#include <stdexcept>
#include <utility>

#include "base/mbcs.h"
#include "platform/platform.h"
#include "platform/platform_faults.h"
#include "platform/win32_text.h"

namespace platform {

const char kPathSeparator = '\\';
const std::size_t kMaxPath = MAX_PATH;
const bool kCaseSensitiveFileSystem = false;

namespace {

constexpr UINT kCodePage = 932;

// Widens one character (one or two bytes) of code page 932; false when the bytes are no character.
bool WidenCharacter(const char* bytes, int length, std::wstring& out) {
    wchar_t wide[2];
    int count = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, length, wide, 2);
    if (count <= 0) return false;
    out.append(wide, static_cast<std::size_t>(count));
    return true;
}

// Code page 932 to UTF-16 when every byte belongs to a character; false otherwise.
bool TryWiden(const std::string& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    int length = static_cast<int>(text.size());
    int count = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (count <= 0) return false;
    out.resize(static_cast<std::size_t>(count));
    MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text.data(), length, out.data(), count);
    return true;
}

int CharacterSize(const std::string& text, std::size_t pos) {
    return IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

// Code page 932 to UTF-16. A byte that is no character becomes U+FFFD (UTF-16 cannot keep it).
std::wstring Widen(const std::string& text) {
    std::wstring out;
    if (TryWiden(text, out)) return out;
    out.clear();
    for (std::size_t pos = 0; pos < text.size();) {
        int size = CharacterSize(text, pos);
        if (!WidenCharacter(text.data() + pos, size, out)) out += L'\xFFFD';
        pos += static_cast<std::size_t>(size);
    }
    return out;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
    std::string out;
    if (text.empty()) return out;
    int length = static_cast<int>(text.size());
    int count = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (count <= 0) return out;
    out.resize(static_cast<std::size_t>(count));
    WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), count, nullptr, nullptr);
    return out;
}

// UTF-16 from the system (names, folders, arguments) to code page 932; a character that code page
// 932 lacks becomes '?'.
std::string ToCp932(const std::wstring& text) { return Narrow(text, kCodePage); }

// The UTF-8 text of size bytes at pos to code page 932, appended to out; false (out unchanged) when
// it is not valid UTF-8 or code page 932 lacks one of its characters.
bool NarrowUtf8(const std::string& text, std::size_t pos, std::size_t size, std::string& out) {
    if (size == 0) return true;
    const char* bytes = text.data() + pos;
    int length = static_cast<int>(size);
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
    if (count <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, wide.data(), count);
    BOOL lacking = FALSE;
    int narrowCount = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), count, nullptr, 0,
                                          nullptr, &lacking);
    if (narrowCount <= 0 || lacking) return false;
    std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(narrowCount));
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), count, out.data() + start, narrowCount,
                        nullptr, nullptr);
    return true;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "C:" or "C:\" (either separator).
bool IsDriveRoot(const std::wstring& path) {
    bool drive = path.size() >= 2 && path[1] == L':' &&
                 ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    return drive && (path.size() == 2 || (path.size() == 3 && IsSeparator(path[2])));
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

HANDLE StreamHandle(Stream stream) {
    return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

int LastError() { return static_cast<int>(GetLastError()); }

// ReadFile and WriteFile take 32-bit counts; larger transfers go in pieces of this size.
constexpr std::size_t kMaxTransfer = 1u << 30;

std::string KnownFolderPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return std::string();
    std::string converted;
    return ExactCp932(path, converted) ? converted : std::string();
}

std::atomic<bool (*)()> g_interruptHandler{nullptr};


// FALSE passes the event on to the default handling, which ends the process.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    auto handler = g_interruptHandler.load();
    return handler != nullptr && handler() ? TRUE : FALSE;
}

}  // namespace

// The error an injected fault stands for on this side.
int FaultError(Fault fault) { return fault == Fault::DiskFull ? ERROR_DISK_FULL : ERROR_IO_DEVICE; }

bool ExactCp932(const std::wstring& text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    BOOL lacking = FALSE;
    const int count =
        WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0, nullptr, &lacking);
    if (count <= 0 || lacking) return false;
    out.resize(static_cast<std::size_t>(count));
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, out.data(), count, nullptr, nullptr);
    return true;
}

// ---- File ----

File::~File() { Close(); }

bool File::Open(const std::string& path, unsigned flags, int* error) {
    Close();
    unsigned accessMode = flags & 0x3;
    DWORD access = accessMode == modeWrite ? GENERIC_WRITE
                   : accessMode == 0x2     ? GENERIC_READ | GENERIC_WRITE
                                           : GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate) disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    if (Fault fault = InjectedFault(flags & modeCreate ? FileOperation::Create : FileOperation::Open, path);
        fault != Fault::None) {
        if (error != nullptr) *error = FaultError(fault);
        return false;
    }
    HANDLE handle =
        CreateFileW(Widen(path).c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr) *error = LastError();
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    m_path = path;
    return true;
}

std::size_t File::Read(void* buffer, std::size_t size) {
    if (Fault fault = InjectedFault(FileOperation::Read, m_path); fault != Fault::None) {
        throw FileFailure("読込み", m_path, FaultError(fault));
    }
    char* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        DWORD count = 0;
        DWORD wanted = static_cast<DWORD>(std::min(size - done, kMaxTransfer));
        if (!ReadFile(Handle(m_handle), out + done, wanted, &count, nullptr)) {
            throw FileFailure("読込み", m_path, LastError());
        }
        if (count == 0) break;
        done += count;
    }
    return done;
}

void File::Write(const void* data, std::size_t size) {
    const char* in = static_cast<const char*>(data);
    std::size_t allowed = size;
    const Fault fault = InjectedFault(FileOperation::Write, m_path, allowed);
    if (fault != Fault::None) size = std::min(size, allowed);
    std::size_t done = 0;
    while (done < size) {
        DWORD count = 0;
        DWORD wanted = static_cast<DWORD>(std::min(size - done, kMaxTransfer));
        if (!WriteFile(Handle(m_handle), in + done, wanted, &count, nullptr)) {
            throw FileFailure("書込み", m_path, LastError());
        }
        if (count == 0) throw FileFailure("書込み", m_path, ERROR_DISK_FULL);
        done += count;
    }
    if (fault != Fault::None) throw FileFailure("書込み", m_path, FaultError(fault));
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

void File::Sync() {
    if (Fault fault = InjectedFault(FileOperation::Flush, m_path); fault != Fault::None) {
        throw FileFailure("書込み", m_path, FaultError(fault));
    }
    if (const int error = FinishBackgroundFlush(); error != 0) throw FileFailure("書込み", m_path, error);
    if (const int error = FlushHandle(m_handle); error != 0) throw FileFailure("書込み", m_path, error);
}

int File::FlushHandle(std::intptr_t handle) noexcept {
    return FlushFileBuffers(Handle(handle)) ? 0 : static_cast<int>(GetLastError());
}

void File::Close() noexcept {
    FinishBackgroundFlush();
    if (m_handle != kInvalid) CloseHandle(Handle(m_handle));
    m_handle = kInvalid;
    m_path.clear();
    m_unflushed = 0;
}

// ---- Folders and names ----

bool PathExists(const std::string& path) {
    // kMaxPath counts the terminating NUL, so a path of kMaxPath bytes does not fit either.
    if (path.empty() || path.size() >= kMaxPath) return false;
    std::wstring wide = Widen(path);
    // A directory search cannot find a root, so a root is asked for its attributes.
    if (IsDriveRoot(wide)) return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
    // Wildcards would make the search find other names; a trailing separator finds nothing.
    if (wide.find_first_of(L"*?") != std::wstring::npos || IsSeparator(wide.back())) return false;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(wide.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

std::vector<std::string> FindEntries(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    // The pattern is matched here rather than by the search, whose '?' may match no character at
    // all before a point and which also matches the short (8.3) names of long ones.
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(Widen(folder + kPathSeparator + "*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = ToCp932(data.cFileName);
        if (name != "." && name != ".." && MatchesPattern(pattern, name)) names.push_back(std::move(name));
    } while (FindNextFileW(search, &data));
    FindClose(search);
    SortNamesCaseBlind(names);
    return names;
}

bool RemoveFile(const std::string& path, int* error) {
    if (Fault fault = InjectedFault(FileOperation::Delete, path); fault != Fault::None) {
        if (error != nullptr) *error = FaultError(fault);
        return false;
    }
    if (DeleteFileW(Widen(path).c_str())) return true;
    if (error != nullptr) *error = LastError();
    return false;
}

bool RenameFile(const std::string& from, const std::string& to, int* error) {
    int failure = 0;
    if (Fault fault = InjectedFault(FileOperation::Rename, from); fault != Fault::None) {
        failure = FaultError(fault);
    } else if (!MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = LastError();
    }
    if (failure != 0 && error != nullptr) *error = failure;
    return failure == 0;
}

// Renames are write-through here: there is nothing left to make durable.
bool SyncFolder(const std::string&, int*) { return true; }

bool MakeDirectory(const std::string& path, int* error) {
    if (CreateDirectoryW(Widen(path).c_str(), nullptr)) return true;
    if (error != nullptr) *error = LastError();
    return false;
}

std::string ErrorText(int error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
        message.pop_back();
    }
    return ToCp932(message);
}

std::string GetKnownFolder(KnownFolder folder) {
    switch (folder) {
        case KnownFolder::UserData:
            return KnownFolderPath(CSIDL_APPDATA);
        case KnownFolder::CommonAppData:
            return KnownFolderPath(CSIDL_COMMON_APPDATA);
        case KnownFolder::ProgramFiles:
            return KnownFolderPath(CSIDL_PROGRAM_FILES);
        case KnownFolder::Windows:
            return KnownFolderPath(CSIDL_WINDOWS);
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

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

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

void WriteConsole(Stream stream, const std::string& text) {
    if (text.empty()) return;
    HANDLE handle = StreamHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        std::wstring wide = Widen(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // Redirected: bytes in the console's code page when that is 932, UTF-8 otherwise.
    std::string bytes = GetConsoleOutputCP() == kCodePage ? text : Narrow(Widen(text), CP_UTF8);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       nullptr) ||
            written == 0) {
            return;  // a closed pipe: there is no one left to tell
        }
        done += written;
    }
}

bool IsTerminal(Stream stream) {
    DWORD mode = 0;
    return GetConsoleMode(StreamHandle(stream), &mode) != 0;
}

std::vector<std::string> CommandLineArguments(int, char**) {
    // The narrow argv is in the system's code page, which need not be 932; the wide command line is whole.
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 1; i < count; ++i) {
        std::string argument;
        if (!ExactCp932(wide[i], argument)) {
            const std::string shown = Narrow(wide[i], CP_UTF8);
            LocalFree(wide);
            throw std::runtime_error("argument '" + shown + "' has characters that code page 932 cannot hold");
        }
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
    return arguments;
}

std::string AbsolutePath(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (written == 0 || written >= size) return path;
    full.resize(written);
    std::string converted;
    return ExactCp932(full, converted) ? converted : path;
}

void InstallInterruptHandler(bool (*handler)()) {
    g_interruptHandler.store(handler);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// ---- Text conversion ----

std::string Cp932ToUtf8(const std::string& text) {
    std::wstring wide;
    if (TryWiden(text, wide)) return Narrow(wide, CP_UTF8);
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        int size = CharacterSize(text, pos);
        wide.clear();
        if (WidenCharacter(text.data() + pos, size, wide)) {
            out += Narrow(wide, CP_UTF8);
        } else {
            out.append(text, pos, static_cast<std::size_t>(size));  // no character: kept as it is
        }
        pos += static_cast<std::size_t>(size);
    }
    return out;
}

std::string Utf8ToCp932(const std::string& text) {
    std::string out;
    if (NarrowUtf8(text, 0, text.size(), out)) return out;
    out.clear();
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
