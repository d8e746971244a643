// What both sides of the platform layer share: the translation of a failure into a FileError, the
// background flush of files being written, and the fault-injection seam.
#include <atomic>
#include <system_error>
#include <utility>

#include "platform/platform.h"
#include "platform/platform_faults.h"

namespace platform {

namespace {
std::atomic<IFileFaults*> g_faults{nullptr};
}  // namespace

FileError FileFailure(const std::string& operation, const std::string& path, int error) {
    return FileError(operation, path, error, ErrorText(error));
}

namespace {
// A flush starts in the background after this many bytes: a few a second at the disk's speed.
constexpr std::uint64_t kBackgroundFlushBytes = 8 << 20;
}  // namespace

void File::StartWriteBack(std::uint64_t length) noexcept {
    if (m_handle == kInvalid) return;
    m_unflushed += length;
    if (m_unflushed < kBackgroundFlushBytes) return;
    // An injected failure of the flush is asked for here, in the caller's order of operations.
    if (Fault fault = InjectedFault(FileOperation::Flush, m_path); fault != Fault::None) {
        if (m_flushError == 0) m_flushError = FaultError(fault);
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

void SetFileFaults(IFileFaults* faults) { g_faults.store(faults); }

Fault InjectedFault(FileOperation operation, const std::string& path, std::size_t& allowed) {
    IFileFaults* faults = g_faults.load(std::memory_order_acquire);
    return faults == nullptr ? Fault::None : faults->Before(operation, path, allowed);
}

Fault InjectedFault(FileOperation operation, const std::string& path) {
    std::size_t allowed = 0;
    return InjectedFault(operation, path, allowed);
}

}  // namespace platform
