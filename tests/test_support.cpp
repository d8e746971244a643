#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "engine/messages.h"
#include "engine/result_report.h"
#include "platform/platform.h"
#include "support/paths.h"

namespace fs = std::filesystem;

namespace {
std::atomic<int> g_tempCounter{0};

// Our paths are code page 932; std::filesystem takes them as UTF-8 on every side.
fs::path ToFsPath(const std::string& path) {
    std::string utf8 = platform::Cp932ToUtf8(path);
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string FromFsPath(const fs::path& path) {
    std::u8string utf8 = path.u8string();
    return platform::Utf8ToCp932(std::string(utf8.begin(), utf8.end()));
}
}  // namespace

TempDir::TempDir() {
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate =
            base / ("tolva_test_" + std::to_string(platform::Now()) + "_" + std::to_string(g_tempCounter++) + "_" +
                    std::to_string(reinterpret_cast<std::uintptr_t>(this) & 0xFFFF));
        if (fs::create_directory(candidate)) {
            m_path = FromFsPath(candidate);
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(ToFsPath(m_path), ignored);
}

std::string TempDir::operator/(const std::string& name) const { return m_path + platform::kPathSeparator + name; }

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(ToFsPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(ToFsPath(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(ToFsPath(path), ignored);
}

std::uint64_t FileSize(const std::string& path) { return fs::file_size(ToFsPath(path)); }

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(ToFsPath(folder))) {
        names.push_back(FromFsPath(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string FromHex(const std::string& hex) {
    std::string out;
    int high = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            continue;
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>(high * 16 + v);
            high = -1;
        }
    }
    return out;
}

void ChangeADateDigit(const std::string& outputPath) {
    std::string text = ReadBytes(outputPath);
    std::size_t at = 0;
    for (int field = 0; field < 5; ++field) at = text.find(',', at) + 1;
    text[at] = text[at] == '1' ? '2' : '1';
    WriteBytes(outputPath, text);
}

bool FakeClock::ToLocalTime(std::int64_t time, std::tm& out) {
    std::time_t t = static_cast<std::time_t>(time);
#ifdef _WIN32
    return gmtime_s(&out, &t) == 0;
#else
    return gmtime_r(&t, &out) != nullptr;
#endif
}

void FakeClock::Sleep(int milliseconds) {
    ++sleeps;
    m_sleptMs += milliseconds;
    m_now += m_sleptMs / 1000;
    m_sleptMs %= 1000;
    if (onSleep) onSleep(sleeps);
}

void FakeHost::SetProgress(int position) {
    progress = position;
    progressHistory.push_back(position);
    if (onProgress) onProgress(position);
}

void FakeHost::SetRowStatusText(int row, const std::string& text) {
    if (static_cast<std::size_t>(row) >= rowTexts.size()) rowTexts.resize(row + 1);
    rowTexts[row] = text;
}

bool FakeHost::ShowMessage(const std::string& text, MessageKind kind) {
    messages.emplace_back(text, kind);
    if (messagesThrow) throw std::runtime_error("the message box failed");
    if (kind != MessageKind::Question) return false;
    if (onQuestion) onQuestion();
    return m_nextAnswer < answers.size() ? answers[m_nextAnswer++] : false;
}

namespace {
std::vector<std::string> ClaimFields(int n) {
    const std::string number = std::to_string(n);
    return {"1310000001",
            "01",
            "06130012",
            "ＡＢ" + number,
            "１２３" + number,
            "19700101",
            "1",
            "200804",
            "200803",
            "2",
            "",
            "12",
            number,
            "3",
            "-" + number,
            "0123"};
}
std::string Join(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];
    return line + "\r\n";
}
}  // namespace

std::string ClaimLine(int n) { return Join(ClaimFields(n)); }

std::string ClaimLines(int count, int first) {
    std::string text;
    for (int i = 0; i < count; ++i) text += ClaimLine(first + i);
    return text;
}

std::string ClaimLineWith(int position, const std::string& value) {
    std::vector<std::string> fields = ClaimFields(7);
    fields[position] = value;
    return Join(fields);
}

std::string LineOfFields(int fieldCount) {
    std::vector<std::string> fields = ClaimFields(7);
    fields.resize(fieldCount, "9");
    return Join(fields);
}

RunFixture::RunFixture() : log(kLogSource, clock), run(host, files, flags, log, clock) {
    log.InitLog(logDir.Path());
    host.outputFolder = out.Path();
    files.folder = in.Path();
}

FailingPaths::FailingPaths(platform::FileOperation operation, std::string pathPart, platform::Fault fault)
    : m_operation(operation), m_pathPart(std::move(pathPart)), m_fault(fault) {
    platform::SetFileFaults(this);
}

FailingPaths::~FailingPaths() { platform::SetFileFaults(nullptr); }

platform::Fault FailingPaths::Before(platform::FileOperation operation, const std::string& path, std::size_t& allowed) {
    if (operation != m_operation || path.find(m_pathPart) == std::string::npos) return platform::Fault::None;
    if (operation == platform::FileOperation::Write) allowed = 0;
    return m_fault;
}
