// Inside the platform layer only: what platform_common.cpp and the two sides ask of one another. The
// faults a test installed (SetFileFaults) are asked for before each file operation; each side makes
// the calls on an open file's handle in its own way, and platform_common.cpp builds File on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace platform {

Fault InjectedFault(FileOperation operation, const std::string& path, std::size_t& allowed);
// The error of the fault injected into operation: 0 when there is none.
int InjectedError(FileOperation operation, const std::string& path);
// The system's error code that stands for an injected fault on this side.
int FaultError(Fault fault);
// Stores failure (a system's error code, or 0) in *error when there is one; true when there is none.
bool Succeeded(int failure, int* error);

// Each side's calls on a file's handle; each returns 0 or the system's error code.
// Opens path with File's flags and refuses what File refuses; stores the handle only when it is open.
int OpenHandle(const std::string& path, unsigned flags, std::intptr_t& handle);
// One read or write of up to size bytes, count set to what it moved (a read of 0: the end of the file).
// A write that moves nothing fails.
int ReadHandle(std::intptr_t handle, char* buffer, std::size_t size, std::size_t& count) noexcept;
int WriteHandle(std::intptr_t handle, const char* bytes, std::size_t size, std::size_t& count) noexcept;
// Writes all size bytes (a file, or a console's stream when redirected).
int WriteAll(std::intptr_t handle, const char* bytes, std::size_t size) noexcept;
int FlushHandle(std::intptr_t handle) noexcept;
void CloseFileHandle(std::intptr_t handle) noexcept;

}  // namespace platform
