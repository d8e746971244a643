#include "ui/win/version_info.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "ui/win/wide_text.h"
#include "ui/win/window.h"

std::optional<std::string> ReadProductVersion() {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(ResourceInstance(), path, MAX_PATH) == 0) return std::nullopt;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path, 0, size, data.data())) return std::nullopt;

    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* found = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &found, &length) ||
        length < sizeof(Translation)) {
        return std::nullopt;
    }
    const auto* first = static_cast<const Translation*>(found);
    wchar_t block[64];
    std::swprintf(block, 64, L"\\StringFileInfo\\%04X%04X\\ProductVersion", first->language, first->codePage);
    if (!VerQueryValueW(data.data(), block, &found, &length) || length == 0) return std::nullopt;
    return FromWide(static_cast<const wchar_t*>(found));
}
