#include "ui/win/version_info.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui/win/wide_text.h"
#include "ui/win/window.h"

namespace {

// The version functions of VERSION.dll, which is no KnownDLL: were it imported, the loader could
// take a DLL of that name from the program's own folder (a download folder). It is loaded here by
// its full path in the system folder, when the About box first asks.
struct VersionFunctions {
    using GetSize = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using GetInfo = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using Query = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    GetSize getSize = nullptr;
    GetInfo getInfo = nullptr;
    Query query = nullptr;
};

template <typename Function>
Function Find(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const VersionFunctions* LoadVersionFunctions() {
    static const VersionFunctions functions = [] {
        VersionFunctions found;
        wchar_t folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return found;
        const HMODULE module = LoadLibraryW((std::wstring(folder) + L"\\version.dll").c_str());
        if (module == nullptr) return found;
        found.getSize = Find<VersionFunctions::GetSize>(module, "GetFileVersionInfoSizeW");
        found.getInfo = Find<VersionFunctions::GetInfo>(module, "GetFileVersionInfoW");
        found.query = Find<VersionFunctions::Query>(module, "VerQueryValueW");
        return found;
    }();
    return functions.getSize && functions.getInfo && functions.query ? &functions : nullptr;
}

}  // namespace

std::optional<std::string> ReadProductVersion() {
    const VersionFunctions* version = LoadVersionFunctions();
    if (version == nullptr) return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(ResourceInstance(), path, MAX_PATH) == 0) return std::nullopt;
    DWORD ignored = 0;
    const DWORD size = version->getSize(path, &ignored);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> data(size);
    if (!version->getInfo(path, 0, size, data.data())) return std::nullopt;

    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* found = nullptr;
    UINT length = 0;
    if (!version->query(data.data(), L"\\VarFileInfo\\Translation", &found, &length) || length < sizeof(Translation)) {
        return std::nullopt;
    }
    const auto* first = static_cast<const Translation*>(found);
    wchar_t block[64];
    std::swprintf(block, 64, L"\\StringFileInfo\\%04X%04X\\ProductVersion", first->language, first->codePage);
    if (!version->query(data.data(), block, &found, &length) || length == 0) return std::nullopt;
    return FromWide(static_cast<const wchar_t*>(found));
}
