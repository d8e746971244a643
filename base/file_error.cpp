#include "base/file_error.h"

namespace {

std::string ReasonText(int systemError, const std::string& reason) {
    return reason.empty() ? "エラーコード " + std::to_string(systemError) : reason;
}

}  // namespace

FileError::FileError(const std::string& operation, const std::string& path, int systemError, const std::string& reason)
    : std::runtime_error("ファイル[" + path + "]の" + operation + "に失敗しました。(" +
                         ReasonText(systemError, reason) + ")"),
      m_path(path),
      m_systemError(systemError),
      m_reason(ReasonText(systemError, reason)) {}
