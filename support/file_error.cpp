#include "support/file_error.h"

#include "platform/platform.h"

namespace {

std::string Describe(const std::string& operation, const std::string& path, int systemError) {
    std::string reason = platform::ErrorText(systemError);
    if (reason.empty()) reason = "エラーコード " + std::to_string(systemError);
    return "ファイル[" + path + "]の" + operation + "に失敗しました。(" + reason + ")";
}

}  // namespace

FileError::FileError(const std::string& operation, const std::string& path, int systemError)
    : std::runtime_error(Describe(operation, path, systemError)), m_path(path), m_systemError(systemError) {}
