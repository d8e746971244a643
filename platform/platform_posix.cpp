// The POSIX side: file names are UTF-8 on disk and converted with iconv at every call; names are
// found without regard to ASCII letter case, as Windows finds them, and files are locked with flock
// so that two openers exclude each other as they do under Windows' share mode 0.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <stdio.h>  // renameat2
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "base/mbcs.h"
#include "platform/platform.h"
#include "platform/platform_faults.h"

namespace platform {

const char kPathSeparator = '/';
const bool kCaseSensitiveFileSystem = true;

namespace {

// One direction of conversion. An iconv descriptor keeps state and must not be shared between
// threads, so each thread opens its own pair.
class CConverter {
public:
    CConverter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CConverter() {
        if (m_cd != kNoConverter) iconv_close(m_cd);
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;

    // Bytes that cannot be converted (a stray lead byte, a character the other side lacks) are
    // copied as they are, one at a time, and the conversion goes on after them.
    std::string Convert(const std::string& text) {
        if (m_cd == kNoConverter) return text;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.reserve(text.size() + text.size() / 2);
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* next = buffer;
            std::size_t outLeft = sizeof buffer;
            std::size_t result = iconv(m_cd, &in, &inLeft, &next, &outLeft);
            out.append(buffer, static_cast<std::size_t>(next - buffer));
            if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
                out += *in;
                ++in;
                --inLeft;
            }
        }
        return out;
    }

private:
    static inline const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
    iconv_t m_cd;
};

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    // Byte-wise folding is safe on UTF-8 names: every byte of a multibyte sequence is 0x80 or above.
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// Neither an errno value nor a signal number: an open that met a FIFO, device or socket.
constexpr int kNotRegular = 0x10000;

bool EntryExists(const std::string& native) {
    struct stat status;
    return lstat(native.c_str(), &status) == 0;
}

// The entry of folder whose name equals name without regard to ASCII case (the first by byte order
// when several do), or the empty text.
std::string FindTwin(const std::string& folder, const std::string& name) {
    std::string found;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return found;
    while (const dirent* entry = readdir(dir)) {
        std::string candidate = entry->d_name;
        if (SameIgnoringAsciiCase(candidate, name) && (found.empty() || candidate < found)) found = candidate;
    }
    closedir(dir);
    return found;
}

// The on-disk path for a native (UTF-8) path as the user wrote it. When it does not exist as written,
// each missing component is looked up in its folder without regard to case; a component that has no
// such twin stays as written, so that a new file is created under the name asked for.
std::string Resolve(const std::string& native) {
    if (native.empty() || EntryExists(native)) return native;
    std::size_t slash = native.find_last_of('/');
    std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return native;
    std::string folder;
    if (slash == 0) {
        folder = "/";
    } else if (slash != std::string::npos) {
        folder = Resolve(native.substr(0, slash)) + "/";
    }
    std::string twin = FindTwin(folder.empty() ? "." : folder, name);
    return folder + (twin.empty() ? name : twin);
}

std::string Native(const std::string& path) { return Resolve(Cp932ToUtf8(path)); }

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

int StreamDescriptor(Stream stream) { return stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO; }

std::atomic<bool (*)()> g_interruptHandler{nullptr};

extern "C" void OnInterruptSignal(int signal) {
    auto handler = g_interruptHandler.load();
    if (handler != nullptr && handler()) return;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Code page 932 text of a UTF-8 text that converts both ways without loss, or false.
bool ExactCp932(const std::string& utf8, std::string& out) {
    out = Utf8ToCp932(utf8);
    return Cp932ToUtf8(out) == utf8;
}

// 0 when fd is of a regular file, else the error of its refusal: a folder, a FIFO, a device, a socket.
int RefusalOf(int fd) {
    struct stat status;
    if (fstat(fd, &status) != 0) return errno;
    return S_ISDIR(status.st_mode) ? EISDIR : S_ISREG(status.st_mode) ? 0 : kNotRegular;
}

}  // namespace

int FaultError(Fault fault) { return fault == Fault::DiskFull ? ENOSPC : fault == Fault::Locked ? EWOULDBLOCK : EIO; }

// ---- File ----

int OpenHandle(const std::string& path, unsigned flags, std::intptr_t& handle) {
    const unsigned access = flags & 0x3;
    // O_NONBLOCK: a FIFO opened for reading would wait for a writer (and one opened for writing
    // for a reader); it is refused below in any case. Cleared again for a regular file.
    int openFlags = (access == File::modeWrite       ? O_WRONLY
                     : access == File::modeReadWrite ? O_RDWR
                                                     : O_RDONLY) |
                    O_CLOEXEC | O_NONBLOCK;
    if (flags & File::modeCreate) {
        // O_EXCL never follows a link at the name, dangling or not; O_NOFOLLOW says so twice.
        openFlags |= O_CREAT | O_NOFOLLOW | ((flags & File::modeNoTruncate) ? 0 : O_EXCL);
    } else if (flags & File::modeNoFollow) {
        openFlags |= O_NOFOLLOW;
    }
    const std::string native = Native(path);
    const int fd = ::open(native.c_str(), openFlags, 0666);
    if (fd < 0) {
        const int failure = errno;
        // A FIFO without a reader (or a device without its driver) opened for writing.
        struct stat status;
        if (failure == ENXIO && stat(native.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return kNotRegular;
        return failure;
    }
    int failure = RefusalOf(fd);
    if (failure == 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) failure = errno;
    // Held by another opener. (A file system without locks opens as it is.)
    if (failure == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) failure = EWOULDBLOCK;
    if (failure != 0) ::close(fd);
    if (failure == 0) handle = fd;
    return failure;
}

// A call that a signal interrupts is made again.
int ReadHandle(std::intptr_t handle, char* buffer, std::size_t size, std::size_t& count) noexcept {
    ssize_t result;
    while ((result = ::read(Descriptor(handle), buffer, size)) < 0 && errno == EINTR) {
    }
    count = result > 0 ? static_cast<std::size_t>(result) : 0;
    return result < 0 ? errno : 0;
}

int WriteHandle(std::intptr_t handle, const char* bytes, std::size_t size, std::size_t& count) noexcept {
    ssize_t result;
    while ((result = ::write(Descriptor(handle), bytes, size)) < 0 && errno == EINTR) {
    }
    count = result > 0 ? static_cast<std::size_t>(result) : 0;
    return result < 0 ? errno : result == 0 ? EIO : 0;
}

std::uint64_t File::Seek(std::int64_t offset, Origin origin) {
    int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
    off_t position = ::lseek(Descriptor(m_handle), static_cast<off_t>(offset), whence);
    if (position < 0) throw FileFailure("位置移動", m_path, errno);
    return static_cast<std::uint64_t>(position);
}

std::uint64_t File::GetLength() {
    struct stat status;
    if (fstat(Descriptor(m_handle), &status) != 0) throw FileFailure("サイズ取得", m_path, errno);
    return static_cast<std::uint64_t>(status.st_size);
}

int FlushHandle(std::intptr_t handle) noexcept {
    // Devices and pipes have nothing to make durable.
    if (fsync(Descriptor(handle)) != 0 && errno != EINVAL && errno != EROFS) return errno;
    return 0;
}

void CloseFileHandle(std::intptr_t handle) noexcept { ::close(Descriptor(handle)); }

// ---- Folders and names ----

bool PathExists(const std::string& path) {
    if (path.empty()) return false;
    if (path == "/") return true;
    if (path.back() == '/') return false;
    return EntryExists(Native(path));
}

std::vector<std::string> FindEntries(const std::string& folder, const std::string& pattern, bool regularOnly) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    DIR* dir = opendir(Native(folder).c_str());
    if (dir == nullptr) return names;
    const int dirFd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        std::string name = Utf8ToCp932(entry->d_name);
        if (name == "." || name == ".." || !MatchesPattern(pattern, name)) continue;
        if (regularOnly) {
            struct stat status;
            if (fstatat(dirFd, entry->d_name, &status, 0) != 0 || !S_ISREG(status.st_mode)) continue;
        }
        names.push_back(std::move(name));
    }
    closedir(dir);
    SortNamesCaseBlind(names);
    return names;
}

bool RemoveFile(const std::string& path, int* error) {
    if (const int injected = InjectedError(FileOperation::Delete, path)) return Succeeded(injected, error);
    if (::unlink(Native(path).c_str()) == 0) return true;
    if (error != nullptr) *error = errno;
    return errno == ENOENT;
}

bool RenameFile(const std::string& from, const std::string& to, int* error) {
    if (const int injected = InjectedError(FileOperation::Rename, from)) return Succeeded(injected, error);
    const std::string source = Native(from);
    const std::string target = Native(to);
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    int failure = errno;
    // A file system without the flag: a hard link takes the new name only where it is free.
    if (failure == EINVAL || failure == ENOSYS) {
        failure = ::link(source.c_str(), target.c_str()) == 0 ? 0 : errno;
        if (failure == 0) ::unlink(source.c_str());
        // Nor links (FAT): look, then rename. Only a name that appears in between could still be
        // replaced; the folder's lock keeps our own runs out.
        if (failure == EPERM || failure == EOPNOTSUPP) {
            failure = EntryExists(target) ? EEXIST : ::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
        }
    }
    return Succeeded(failure, error);
}

bool SyncFolder(const std::string& folder, int* error) {
    const int fd = ::open(Native(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Succeeded(errno, error);
    // A file system that cannot sync a folder (EINVAL) keeps its names as it keeps them.
    const int failure = FlushHandle(fd);
    ::close(fd);
    return Succeeded(failure, error);
}

bool MakeDirectory(const std::string& path, int* error) {
    return Succeeded(::mkdir(Native(path).c_str(), 0777) == 0 ? 0 : errno, error);
}

bool IsLockedError(int error) { return error == EWOULDBLOCK || error == EAGAIN; }
bool IsExistsError(int error) { return error == EEXIST; }
bool IsMissingError(int error) { return error == ENOENT || error == ENOTDIR; }
const int kErrorNotRegular = kNotRegular;

std::string ErrorText(int error) {
    if (error == kNotRegular) return "通常のファイルではありません";
    char buffer[256];
    // The GNU strerror_r, which returns its text (not always in buffer).
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return Utf8ToCp932(text != nullptr ? text : "");
}

std::string GetKnownFolder(KnownFolder folder) {
    if (folder != KnownFolder::UserData) return std::string();
    // A relative $XDG_STATE_HOME is invalid by the XDG rules and is ignored.
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string path;
    if (state != nullptr && state[0] == '/') {
        path = state;
    } else if (home != nullptr && home[0] != '\0') {
        path = std::string(home) + "/.local/state";
    }
    std::string converted;
    return !path.empty() && ExactCp932(path, converted) ? converted : std::string();
}

std::vector<std::string> ProtectedFolders() {
    // The callers compare these as leading bytes of a folder, so "/lib" also covers /lib32, /lib64
    // and /libx32.
    return {"/usr", "/etc", "/bin", "/sbin", "/lib", "/boot", "/proc", "/sys", "/dev"};
}

// ---- Clock ----

bool ToLocalTime(std::int64_t time, std::tm& out) {
    std::time_t seconds = static_cast<std::time_t>(time);
    return localtime_r(&seconds, &out) != nullptr;
}

// (<chrono> cannot be used: its "µs" does not exist in code page 932, our literals' encoding.)
double MonotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void SleepMilliseconds(int milliseconds) {
    if (milliseconds <= 0) return;
    timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// There is no one text editor to hand a file to here; the command line prints where the file is.
void OpenInTextEditor(const std::string&) {}

// ---- Console ----

bool WriteConsole(Stream stream, const std::string& text, int* error) {
    const std::string utf8 = Cp932ToUtf8(text);
    return Succeeded(WriteAll(StreamDescriptor(stream), utf8.data(), utf8.size()), error);
}

bool IsTerminal(Stream stream) { return isatty(StreamDescriptor(stream)) == 1; }

int TerminalColumns(Stream stream) {
    winsize size{};
    if (ioctl(StreamDescriptor(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    const char* columns = std::getenv("COLUMNS");
    const int given = columns != nullptr ? std::atoi(columns) : 0;
    return given > 0 ? given : 80;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        std::string argument;
        if (!ExactCp932(argv[i], argument)) {
            throw std::runtime_error(std::string("argument '") + argv[i] +
                                     "' has characters that code page 932 cannot hold");
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string AbsolutePath(const std::string& path, bool* exact) {
    if (exact != nullptr) *exact = true;
    char* resolved = realpath(Native(path).c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string converted;
    const bool held = ExactCp932(resolved, converted);
    std::free(resolved);
    if (exact != nullptr) *exact = held;
    return held ? converted : path;
}

// ---- Folder lock ----

FolderLock::Result FolderLock::Acquire(const std::string& folder, int* error) {
    Release();
    const std::string native = Native(folder + (folder.empty() || folder.back() == '/' ? "" : "/") + kFolderLockName);
    // The lock file a killed run left behind is taken over. One that a finishing run removes
    // between our open and our lock is no lock at all: the name must still name what we locked.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (error != nullptr) *error = errno;
            return Result::Failed;
        }
        struct stat opened;
        struct stat named;
        int failure = fstat(fd, &opened) != 0 ? errno : S_ISREG(opened.st_mode) ? 0 : kNotRegular;
        if (failure == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) failure = errno;
        if (failure != 0) {
            ::close(fd);
            if (failure == EWOULDBLOCK) return Result::Busy;
            if (error != nullptr) *error = failure;
            return Result::Failed;
        }
        if (lstat(native.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
            m_handle = fd;
            m_path = native;
            return Result::Locked;
        }
        ::close(fd);
    }
    if (error != nullptr) *error = EAGAIN;
    return Result::Busy;
}

void FolderLock::Release() noexcept {
    if (m_handle == -1) return;
    // Removed while still locked, so that no one locks the name we are leaving.
    ::unlink(m_path.c_str());
    ::close(static_cast<int>(m_handle));
    m_handle = -1;
    m_path.clear();
}

void InstallInterruptHandler(bool (*handler)()) {
    g_interruptHandler.store(handler);
    struct sigaction action {};
    action.sa_handler = OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a system call that waits is interrupted, so that the request is seen.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// ---- Text conversion ----

std::string Cp932ToUtf8(const std::string& text) {
    if (IsAscii(text)) return text;
    thread_local CConverter converter("UTF-8", "CP932");
    return converter.Convert(text);
}

std::string Utf8ToCp932(const std::string& text) {
    if (IsAscii(text)) return text;
    thread_local CConverter converter("CP932", "UTF-8");
    return converter.Convert(text);
}

}  // namespace platform
