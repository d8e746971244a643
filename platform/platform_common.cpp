// What both sides of the platform layer share: the translation of a failure into a FileError and
// the fault-injection seam.
#include <atomic>

#include "platform/platform.h"
#include "platform/platform_faults.h"

namespace platform {

namespace {
std::atomic<IFileFaults*> g_faults{nullptr};
}  // namespace

FileError FileFailure(const std::string& operation, const std::string& path, int error) {
    return FileError(operation, path, error, ErrorText(error));
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
