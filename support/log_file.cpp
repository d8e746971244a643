#include "support/log_file.h"

#include "base/file_error.h"
#include "base/mbcs.h"
#include "platform/platform.h"
#include "support/paths.h"

namespace {

// The newest logs that InitLog keeps; older ones (earlier in name order) are deleted.
constexpr std::size_t kLogsKept = 10;
// Before the failure's own text ("ファイル[...]の...に失敗しました。(reason)").
const char kFailureLead[] = "ログを記録できません。";

}  // namespace

CLogFile::CLogFile(const std::string& source, IClock& clock)
    : m_clock(clock), m_source(source.substr(FindLastChar(source, '\\') + 1)) {}

bool CLogFile::InitLog(const std::string& folder, const std::string& oldLogs) {
    // An empty folder would put the log into the root (or the current folder): no such fallback.
    if (folder.empty()) return false;
    if (!platform::PathExists(folder)) {
        if (!CreateFolderTree(folder)) return false;
    } else {
        std::vector<std::string> logs;
        ListFiles(folder, oldLogs, 1, logs);
        for (std::size_t i = 0; i + kLogsKept < logs.size(); ++i) RemoveFileOrThrow(logs[i]);
    }
    std::string date = FormatLocalTime(m_clock, m_clock.Now(), "%Y%m%d");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = JoinPath(folder, "Tolvarenquista_" + date + ".log");
    return true;
}

void CLogFile::WriteLog(int line, const std::string& message) noexcept {
    std::function<void(const std::string&)> handler;
    std::string failure;
    try {
        // The lock keeps the entries of our own threads from colliding at the exclusive open.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_path.empty()) return;
        std::string time = FormatLocalTime(m_clock, m_clock.Now(), "%Y/%m/%d %H:%M:%S");
        failure = Append(time + " (" + m_source + ")[" + std::to_string(line) + "] " + OnOneLine(message) + "\r\n");
        if (failure.empty() || m_failureTold) return;
        m_failureTold = true;
        handler = m_failureHandler;
    } catch (...) {
        return;  // no memory for the entry: it is lost
    }
    // Outside the lock: the handler may wait for another thread that is writing to the log.
    try {
        if (handler) handler(kFailureLead + failure);
    } catch (...) {
    }
}

std::string CLogFile::Append(const std::string& entry) {
    try {
        // Opened or created, never followed: a link planted at the day's name is refused.
        constexpr unsigned kFlags =
            platform::File::modeWrite | platform::File::modeCreate | platform::File::modeNoTruncate;
        platform::File file;
        int error = 0;
        if (!file.Open(m_path, kFlags, &error)) return platform::FileFailure("オープン", m_path, error).what();
        file.Seek(0, platform::File::Origin::End);
        file.Write(entry.data(), entry.size());
        file.Close();
        return std::string();
    } catch (const std::exception& error) {
        return error.what();
    }
}

void CLogFile::SetFailureHandler(std::function<void(const std::string& text)> handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failureHandler = std::move(handler);
}

std::string DefaultLogFolder() {
    std::string userData = platform::GetKnownFolder(platform::KnownFolder::UserData);
    if (userData.empty()) return std::string();
    return JoinPath(JoinPath(userData, "Tolvarenquista"), "Log");
}
