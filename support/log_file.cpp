#include "support/log_file.h"

#include "platform/platform.h"
#include "base/file_error.h"
#include "base/mbcs.h"
#include "support/paths.h"

namespace {

// The newest logs that InitLog keeps; older ones (earlier in name order) are deleted.
constexpr std::size_t kLogsKept = 10;

}  // namespace

CLogFile::CLogFile(IClock& clock) : m_clock(clock) {}

bool CLogFile::InitLog(const std::string& folder, const std::string& oldLogs) {
    // An empty folder would put the log into the root (or the current folder): no such fallback.
    if (folder.empty()) return false;
    if (!FileExists(folder)) {
        if (!CreateFolderTree(folder)) return false;
    } else {
        std::vector<std::string> logs;
        ListFiles(folder, oldLogs, 1, logs);
        for (std::size_t i = 0; i + kLogsKept < logs.size(); ++i) {
            int error = 0;
            if (!platform::RemoveFile(logs[i], &error)) throw platform::FileFailure("削除", logs[i], error);
        }
    }
    std::string date = FormatLocalTime(m_clock, m_clock.Now(), "%Y%m%d");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = JoinPath(folder, "Tolvarenquista_" + date + ".log");
    return true;
}

void CLogFile::WriteLog(int line, const std::string& sourceFile, const std::string& message) {
    // The lock keeps the entries of our own threads from colliding at the exclusive open; another
    // program that holds the file still costs the entry.
    std::lock_guard<std::mutex> lock(m_mutex);
    platform::File file;
    if (m_path.empty() || !file.Open(m_path, platform::File::modeWrite | platform::File::modeCreate |
                                                 platform::File::modeNoTruncate)) {
        return;
    }
    file.Seek(0, platform::File::Origin::End);
    std::size_t backslash = FindLastChar(sourceFile, '\\');
    std::string source = backslash == std::string::npos ? sourceFile : sourceFile.substr(backslash + 1);
    std::string time = FormatLocalTime(m_clock, m_clock.Now(), "%Y/%m/%d %H:%M:%S");
    std::string entry = time + " (" + source + ")[" + std::to_string(line) + "] " + message + "\r\n";
    file.Write(entry.data(), entry.size());
    file.Close();
}

std::string DefaultLogFolder() {
    std::string userData = platform::GetKnownFolder(platform::KnownFolder::UserData);
    if (userData.empty()) return std::string();
    return JoinPath(JoinPath(userData, "Tolvarenquista"), "Log");
}
