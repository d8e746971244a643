// Inside the platform layer only: the question each side asks before a file operation, answered
// by the faults a test installed (SetFileFaults), Fault::None when none are.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace platform {

Fault InjectedFault(FileOperation operation, const std::string& path, std::size_t& allowed);
Fault InjectedFault(FileOperation operation, const std::string& path);
// The system's error code that stands for an injected fault on this side.
int FaultError(Fault fault);

}  // namespace platform
