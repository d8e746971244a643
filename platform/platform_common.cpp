// What both sides of the platform layer share: File on top of each side's handle calls, the
// translation of a failure into a FileError, the background flush of files being written, and the
// fault-injection seam.
#include <algorithm>
#include <atomic>
#include <ctime>
#include <utility>

#include "platform/platform.h"
#include "platform/platform_faults.h"

namespace platform {

const char kFolderLockName[] = "Tolvarenquista.lock";

namespace {
std::atomic<IFileFaults*> g_faults{nullptr};
// A flush starts in the background after this many bytes: a few a second at the disk's speed.
constexpr std::uint64_t kBackgroundFlushBytes = 8 << 20;
}  // namespace

FileError FileFailure(const std::string& operation, const std::string& path, int error) {
    return FileError(operation, path, error, ErrorText(error));
}

bool Succeeded(int failure, int* error) {
    if (failure != 0 && error != nullptr) *error = failure;
    return failure == 0;
}

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// ---- File ----

File::~File() { Close(); }

bool File::Open(const std::string& path, unsigned flags, int* error) {
    Close();
    int failure = InjectedError(flags & modeCreate ? FileOperation::Create : FileOperation::Open, path);
    if (failure == 0) failure = OpenHandle(path, flags, m_handle);
    if (failure == 0) m_path = path;
    return Succeeded(failure, error);
}

std::size_t File::Read(void* buffer, std::size_t size) {
    if (const int injected = InjectedError(FileOperation::Read, m_path); injected != 0) {
        throw FileFailure("読込み", m_path, injected);
    }
    char* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        std::size_t count = 0;
        if (const int error = ReadHandle(m_handle, out + done, size - done, count); error != 0) {
            throw FileFailure("読込み", m_path, error);
        }
        if (count == 0) break;
        done += count;
    }
    return done;
}

void File::Write(const void* data, std::size_t size) {
    std::size_t allowed = size;
    const Fault fault = InjectedFault(FileOperation::Write, m_path, allowed);
    if (fault != Fault::None) size = std::min(size, allowed);
    int error = WriteAll(m_handle, static_cast<const char*>(data), size);
    if (error == 0 && fault != Fault::None) error = FaultError(fault);
    if (error != 0) throw FileFailure("書込み", m_path, error);
}

int WriteAll(std::intptr_t handle, const char* bytes, std::size_t size) noexcept {
    for (std::size_t done = 0; done < size;) {
        std::size_t count = 0;
        if (const int error = WriteHandle(handle, bytes + done, size - done, count); error != 0) return error;
        done += count;
    }
    return 0;
}

void File::Sync() {
    int error = InjectedError(FileOperation::Flush, m_path);
    if (error == 0) error = FinishBackgroundFlush();
    if (error == 0) error = FlushHandle(m_handle);
    if (error != 0) throw FileFailure("書込み", m_path, error);
}

void File::StartWriteBack(std::uint64_t length) noexcept {
    if (m_handle == kInvalid) return;
    m_unflushed += length;
    if (m_unflushed < kBackgroundFlushBytes) return;
    // An injected failure of the flush is asked for here, in the caller's order of operations.
    if (const int injected = InjectedError(FileOperation::Flush, m_path); injected != 0) {
        if (m_flushError == 0) m_flushError = injected;
        m_unflushed = 0;
        return;
    }
    try {
        if (!m_background) m_background = std::make_unique<BackgroundFlush>();
        if (!m_background->done.load(std::memory_order_acquire)) return;  // one at a time
        if (const int error = FinishBackgroundFlush(); error != 0 && m_flushError == 0) m_flushError = error;
        m_unflushed = 0;
        m_background->done.store(false, std::memory_order_relaxed);
        BackgroundFlush* const flush = m_background.get();
        const std::intptr_t handle = m_handle;
        flush->thread = std::thread([flush, handle] {
            flush->error = FlushHandle(handle);
            flush->done.store(true, std::memory_order_release);
        });
    } catch (...) {
        // No thread or no memory: Sync does all the flushing then.
        if (m_background) m_background->done.store(true, std::memory_order_relaxed);
    }
}

int File::FinishBackgroundFlush() noexcept {
    int error = std::exchange(m_flushError, 0);
    if (m_background && m_background->thread.joinable()) {
        m_background->thread.join();
        if (error == 0) error = std::exchange(m_background->error, 0);
    }
    return error;
}

void File::Close() noexcept {
    FinishBackgroundFlush();
    if (m_handle != kInvalid) CloseFileHandle(m_handle);
    m_handle = kInvalid;
    m_path.clear();
    m_unflushed = 0;
}

// ---- Fault injection ----

void SetFileFaults(IFileFaults* faults) { g_faults.store(faults); }

Fault InjectedFault(FileOperation operation, const std::string& path, std::size_t& allowed) {
    IFileFaults* faults = g_faults.load(std::memory_order_acquire);
    return faults == nullptr ? Fault::None : faults->Before(operation, path, allowed);
}

int InjectedError(FileOperation operation, const std::string& path) {
    std::size_t allowed = 0;
    const Fault fault = InjectedFault(operation, path, allowed);
    return fault == Fault::None ? 0 : FaultError(fault);
}

}  // namespace platform
