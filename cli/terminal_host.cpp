// The command line's run host: the live bar, the per-file lines and the outcome line on the error stream.
#include "cli/terminal_host.h"

#include <algorithm>
#include <cstdio>

#include "base/mbcs.h"
#include "support/clock.h"
#include "support/paths.h"

namespace {
constexpr int kBarWidth = 30;
constexpr int kNarrowestBar = 5;             // a bar narrower than this is left out
constexpr double kEstimateAfterSeconds = 1;  // the time left is guessed once a file has run this long
constexpr char kNarrowed[] = "..";           // in place of the start of a name cut to fit

// Code page 932 is laid out as a terminal shows it: a double-byte character takes two columns, a
// single byte (ASCII, half-width katakana) one.
std::size_t Columns(const std::string& text) { return text.size(); }

// The characters that fit in columns, from the start, or from the end.
std::string Head(const std::string& text, std::size_t columns) {
    std::size_t end = 0;
    while (end < text.size() && end + CharLength(text, end) <= columns) end += CharLength(text, end);
    return text.substr(0, end);
}
std::string Tail(const std::string& text, std::size_t columns) {
    std::size_t start = 0;
    while (start < text.size() && Columns(text) - start > columns) start += CharLength(text, start);
    return text.substr(start);
}

// "0:07", "12:30", "1:02:03".
std::string ClockText(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    }
    return text;
}

// A file's time: "0.3秒" under a minute, else as a run's ("1分2秒").
std::string FileTimeText(double seconds) {
    if (seconds < 59.95) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f秒", seconds);
        return text;
    }
    const std::string elapsed = ElapsedText(static_cast<std::int64_t>(seconds + 0.5));
    return elapsed.substr(elapsed.find(' ') + 1);
}

// "WHAT[PATH] FAILURE (REASON)" without its path, as the outcome line repeats it; the text unchanged
// when it has no path in brackets.
std::string WithoutPath(const std::string& detail) {
    const std::size_t open = FindText(detail, "[");
    if (open == std::string::npos) return detail;
    std::size_t close = std::string::npos;
    for (std::size_t at = FindText(detail, "] ", open); at != std::string::npos; at = FindText(detail, "] ", at + 1)) {
        close = at;
    }
    if (close == std::string::npos) return detail;
    return detail.substr(0, open) + " " + detail.substr(close + 2);
}

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
                    m_escapes ? std::string("\r\x1b[K") : "\r" + std::string(m_barColumns, ' ') + "\r");
    m_barShown = false;
    m_barColumns = 0;
}

std::string CTerminalHost::BarText(int columns) const {
    const double seconds = platform::MonotonicSeconds() - m_fileStart;
    const std::string place = "[" + std::to_string(m_position) + "/" + std::to_string(m_chosen) + "] ";
    char percent[16];
    std::snprintf(percent, sizeof percent, " %3d%%", m_progress);
    std::string rate = " " + std::to_string(seconds > 0 ? static_cast<long>(m_records / seconds) : 0) + " rec/s";
    std::string left;
    if (m_progress > 0 && seconds >= kEstimateAfterSeconds) {
        left = " 残り " + ClockText(seconds * (100 - m_progress) / m_progress);
    }
    std::string name = m_currentName;

    // A line that reaches the last column wraps on some consoles: one column stays free. What does
    // not fit goes in this order: the bar's width, the bar, the rate, the start of the name.
    const std::size_t room = static_cast<std::size_t>(std::max(columns - 1, 0));
    const std::size_t fixed = Columns(place) + Columns(percent) + Columns(left);
    const std::size_t withoutBar = fixed + Columns(name) + Columns(rate);
    const std::size_t barWidth =
        room > withoutBar + 3 ? std::min<std::size_t>(kBarWidth, room - withoutBar - 3) : 0;  // " [" and "]"
    std::string bar;
    if (barWidth >= kNarrowestBar) {
        const std::size_t filled = static_cast<std::size_t>(m_progress) * barWidth / 100;
        bar = " [" + std::string(filled, '#') + std::string(barWidth - filled, ' ') + "]";
    }
    if (bar.empty() && withoutBar > room) rate.clear();
    if (fixed + Columns(name) + Columns(rate) > room) {
        const std::size_t nameRoom = room > fixed + Columns(kNarrowed) ? room - fixed - Columns(kNarrowed) : 0;
        name = nameRoom > 0 ? kNarrowed + Tail(name, nameRoom) : "";
    }
    // On a terminal too narrow for even that, what fits of it.
    return Head(place + name + bar + percent + rate + left, room);
}

void CTerminalHost::DrawBar() {
    const int columns = platform::TerminalColumns(platform::Stream::Err);
    const std::string text = BarText(columns);
    const std::size_t drawn = Columns(text);
    if (m_escapes) {
        m_context.write(platform::Stream::Err, "\r\x1b[K" + text);
    } else {
        // Without escape sequences: the line drawn again from its start, and spaces over whatever
        // a wider line before it left (within the terminal's width, which may have shrunk).
        const std::size_t cover = std::min(m_barColumns, static_cast<std::size_t>(std::max(columns - 1, 0)));
        m_context.write(platform::Stream::Err, "\r" + text + std::string(cover > drawn ? cover - drawn : 0, ' '));
    }
    m_barColumns = std::max(m_barColumns, drawn);
    m_barShown = true;
}

void CTerminalHost::SetProgress(int position) {
    // Like a progress control, the position stays within 0 to 100 (the engine counts steps and may
    // ask for one more than the bar has).
    m_progress = std::clamp(position, 0, 100);
    if (m_live && !m_currentName.empty()) DrawBar();
}

void CTerminalHost::OnWaiting(const std::string& path) {
    Status("ファイル[" + path + "]を他のプログラムが使用中です。使用が終わるのを待っています．．．");
}

void CTerminalHost::OnFileStarted(int row) {
    m_currentName = m_files.names.at(row);
    m_records = 0;
    m_progress = 0;
    m_fileStart = platform::MonotonicSeconds();
    const auto ticked = [](std::int32_t check) { return check != 0; };
    const auto checks = m_files.checks.begin();
    const std::size_t upTo = std::min(static_cast<std::size_t>(row) + 1, m_files.checks.size());
    m_position = static_cast<int>(std::count_if(checks, checks + upTo, ticked));
    m_chosen = static_cast<int>(std::ranges::count_if(m_files.checks, ticked));
    if (m_live) {
        DrawBar();
    } else {
        Status(m_currentName + ": 処理中");
    }
}

void CTerminalHost::OnFileEnded(int row, FileStatus status, const FileResult& result) {
    m_currentName.clear();
    if (result.error_count != 0) ++m_filesInError;
    m_outputFiles += result.file_count;
    const char* word = status == Normal ? "正常" : status == Aborted ? "中断" : status == Failed ? "異常" : "";
    if (status == ColumnCountError) word = "カラム数エラー";
    std::string text = m_files.names.at(row) + ": " + (result.message.empty() ? word : result.message);
    if (!m_live) {
        // Off a terminal this line is all there is of the file's course: what it took.
        const std::string time = FileTimeText(platform::MonotonicSeconds() - m_fileStart);
        text +=
            status == Normal ? " (" + CountText(result.written_count) + " レコード、" + time + ")" : " (" + time + ")";
    }
    Status(text);
}

void CTerminalHost::OnRunEnded(RunEnd why, std::int64_t seconds) {
    m_end = why;
    m_seconds = seconds;
}

void CTerminalHost::NoteFailure() {
    if (!m_failed) m_failedFile = m_currentName;
    m_failed = true;
}

void CTerminalHost::FailureDetail(const std::string& text) {
    NoteFailure();
    if (m_failureDetail.empty()) m_failureDetail = text;
    Line(text);  // shown even when quiet, as the message that follows
}

bool CTerminalHost::ShowMessage(const std::string& text, MessageKind kind) {
    if (kind == MessageKind::Question) return true;
    NoteFailure();
    if (m_failureMessage.empty()) m_failureMessage = text;
    Line(text);
    return false;
}

std::string CTerminalHost::FailureText() const {
    std::string text = "カルデノ　異常終了";
    // The system's words where the engine gave them, else the message.
    std::string reason = m_failureDetail.empty() ? OnOneLine(m_failureMessage) : m_failureDetail;
    if (m_failedFile.empty()) return reason.empty() ? text : text + "：" + reason;
    text += "：" + m_failedFile;
    if (!m_failureDetail.empty()) reason = WithoutPath(reason);
    return reason.empty() ? text : text + ": " + reason;
}

void CTerminalHost::TellOutcome() {
    if (m_end == RunEnd::Aborted) {
        Status("処理を中断しました。");
    } else if (m_end != RunEnd::Completed) {
        Line(FailureText());
    } else if (m_filesInError == 0) {
        Status("カルデノ　正常終了 (" + ElapsedText(m_seconds) + ")");
    } else {
        // As the report's heading says it, with how many of the chosen files have no output.
        Line("カルデノ　正常終了（エラーあり：" + std::to_string(m_chosen) + " ファイル中 " +
             std::to_string(m_filesInError) + " ファイル" + (m_outputFiles == 0 ? "、出力ファイルはありません" : "") +
             "） (" + ElapsedText(m_seconds) + ")");
    }
}
