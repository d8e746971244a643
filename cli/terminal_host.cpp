#include "cli/terminal_host.h"

#include <algorithm>
#include <cstdio>

#include "support/clock.h"

namespace {
constexpr int kBarWidth = 30;
constexpr int kPlainStep = 10;  // percent between two plain progress lines
}  // namespace

CTerminalHost::CTerminalHost(CliContext& context, const InputFileStore& files, std::string outputFolder,
                             std::uint64_t splitLimit, bool quiet)
    : m_context(context),
      m_files(files),
      m_outputFolder(std::move(outputFolder)),
      m_splitLimit(splitLimit),
      m_quiet(quiet),
      m_live(context.errIsTerminal && !quiet),
      m_escapes(m_live && platform::TerminalTakesEscapes(platform::Stream::Err)) {}

void CTerminalHost::Line(const std::string& text) {
    ClearBar();
    m_context.write(platform::Stream::Err, text + "\n");
}

void CTerminalHost::ClearBar() {
    if (!m_barShown) return;
    m_context.write(platform::Stream::Err,
                    m_escapes ? std::string("\r\x1b[K") : "\r" + std::string(m_barLength, ' ') + "\r");
    m_barShown = false;
    m_barLength = 0;
}

void CTerminalHost::DrawBar() {
    const double seconds = platform::MonotonicSeconds() - m_fileStart;
    const long rate = seconds > 0 ? static_cast<long>(m_records / seconds) : 0;
    const int filled = m_progress * kBarWidth / 100;
    char text[256];
    const int length =
        std::snprintf(text, sizeof text, "%s [%s%s] %3d%% %ld rec/s", m_currentName.c_str(),
                      std::string(filled, '#').c_str(), std::string(kBarWidth - filled, ' ').c_str(), m_progress, rate);
    const std::size_t drawn = length > 0 ? std::min(static_cast<std::size_t>(length), sizeof text - 1) : 0;
    if (m_escapes) {
        m_context.write(platform::Stream::Err, "\r\x1b[K" + std::string(text, drawn));
    } else {
        // Without escape sequences: the line drawn again from its start, and spaces over whatever
        // a longer line before it left.
        m_context.write(platform::Stream::Err, "\r" + std::string(text, drawn) +
                                                   std::string(m_barLength > drawn ? m_barLength - drawn : 0, ' '));
    }
    m_barLength = std::max(m_barLength, drawn);
    m_barShown = true;
}

void CTerminalHost::SetProgress(int position) {
    const int previous = m_progress;
    // Like a progress control, the position stays within 0 to 100 (the engine counts steps and may
    // ask for one more than the bar has).
    m_progress = std::clamp(position, 0, 100);
    position = m_progress;
    if (m_quiet || m_currentName.empty()) return;
    if (m_live) {
        DrawBar();
    } else if (position / kPlainStep != previous / kPlainStep && position > 0 && position < 100) {
        Line(m_currentName + ": " + std::to_string(position / kPlainStep * kPlainStep) + "%");
    }
}

void CTerminalHost::OnWaiting(const std::string& path) {
    Status("ファイル[" + path + "]を他のプログラムが使用中です。使用が終わるのを待っています．．．");
}

void CTerminalHost::OnFileStarted(int row) {
    m_currentName = m_files.names.at(row);
    m_records = 0;
    m_progress = 0;
    m_fileStart = platform::MonotonicSeconds();
    if (m_live) {
        DrawBar();
    } else {
        Status(m_currentName + ": 処理中");
    }
}

void CTerminalHost::OnFileEnded(int row, FileStatus status, const FileResult& result) {
    m_currentName.clear();
    const char* word = status == Normal ? "正常" : status == Aborted ? "中断" : status == Failed ? "異常" : "";
    if (status == ColumnCountError) word = "カラム数エラー";
    Status(m_files.names.at(row) + ": " + (result.message.empty() ? word : result.message));
}

void CTerminalHost::OnRunStopped(RunEnd why) {
    Status(why == RunEnd::Aborted ? "処理を中断しました。" : "カルデノ　異常終了");
}

void CTerminalHost::OnRunEnded(RunEnd why, std::int64_t seconds) {
    if (why == RunEnd::Completed) Status("カルデノ　正常終了 (" + ElapsedText(seconds) + ")");
}

bool CTerminalHost::ShowMessage(const std::string& text, MessageKind kind) {
    if (kind == MessageKind::Question) return true;
    Line(text);
    return false;
}
