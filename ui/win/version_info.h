// The version resource of the running program.
#pragma once

#include <optional>
#include <string>

// The "ProductVersion" text of the first translation of the executable's version resource, code
// page 932; nothing when the program has no version resource, no translation or no such entry.
std::optional<std::string> ReadProductVersion();
