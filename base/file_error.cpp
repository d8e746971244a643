#include "base/file_error.h"

namespace {

std::string Describe(const std::string& operation, const std::string& path, int systemError, std::string reason) {
    if (reason.empty()) reason = "エラーコード " + std::to_string(systemError);
    return "ファイル[" + path + "]の" + operation + "に失敗しました。(" + reason + ")";
}

}  // namespace

FileError::FileError(const std::string& operation, const std::string& path, int systemError,
                     const std::string& reason)
    : std::runtime_error(Describe(operation, path, systemError, reason)), m_path(path), m_systemError(systemError) {}
