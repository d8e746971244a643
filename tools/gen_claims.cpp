// gen_claims: writes synthetic claim files (code page 932, CR LF lines, 16 fields a record) for the
// demo, the end-to-end test and the benchmark. Every record it writes is valid: 16 fields, each within
// its maximum byte length. The output depends on the seed alone (one fixed generator, no library
// distributions), so a given seed gives the same bytes on every machine.
//
//   gen_claims --out DIR --files N --records M [--seed S] [--name-start YYYYMMDDhhmmss]
//   gen_claims --single PATH --records M [--seed S]
//
// Narrow string literals of this file are compiled to code page 932 bytes.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::size_t kWriteBufferSize = 4 << 20;
constexpr std::size_t kLineRoom = 512;  // more than the longest line written, so the buffer never grows
constexpr std::uint64_t kMaxFiles = 100000;
constexpr std::uint64_t kMaxRecords = 100000000;
constexpr std::string_view kDefaultNameStart = "20080423120000";
constexpr std::uint64_t kDefaultSeed = 2008;

// The two free-text fields, the only ones whose length varies with their content.
constexpr std::size_t kCardFieldMax = 40;  // 被保険者証記号, 被保険者証番号

// One line in this many is followed by a blank line, one in that many by a comment line.
constexpr std::uint64_t kBlankLineEvery = 300;
constexpr std::uint64_t kCommentLineEvery = 700;

constexpr const char* kUsage =
    "usage: gen_claims --out DIR --files N --records M [--seed S] [--name-start YYYYMMDDhhmmss]\n"
    "       gen_claims --single PATH --records M [--seed S]\n";
constexpr const char* kHelp =
    "\n"
    "Writes synthetic claim files for trying the program: code page 932, CR LF lines, 16 fields a\n"
    "record, every record valid (a blank line after about one in 300, a comment line after about one\n"
    "in 700). The same options give the same bytes on every machine.\n"
    "\n"
    "  --out DIR         the folder to write into (made when missing); its files are named by time,\n"
    "                    one second apart, from --name-start (default 20080423120000), as NAME.csv\n"
    "  --files N         how many files (1 to 100000)\n"
    "  --single PATH     one file at PATH instead (equal to the first file of --out with the same seed)\n"
    "  --records M       records a file (0 to 100000000)\n"
    "  --seed S          the seed of the records (default 2008)\n"
    "\n"
    "Example: gen_claims --out claims --files 3 --records 2000 --seed 7\n"
    "Exit status: 0 written, 1 a file could not be written, 2 usage error.\n";

// splitmix64: tiny, fast, and fixed, so that a seed means the same records everywhere.
class CRandom {
public:
    explicit CRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform enough in [0, n) for test data; n > 0.
    std::uint64_t Below(std::uint64_t n) { return Next() % n; }
    // [low, high], low <= high.
    std::int64_t Between(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(Below(static_cast<std::uint64_t>(high - low) + 1));
    }
    bool OneIn(std::uint64_t n) { return Below(n) == 0; }
    bool Percent(std::uint64_t percent) { return Below(100) < percent; }
    template <std::size_t N>
    const char* Pick(const char* const (&items)[N]) {
        return items[Below(N)];
    }

private:
    std::uint64_t m_state;
};

// Text pieces. Each literal is code page 932 after compilation: a double-byte character takes 2
// bytes of a field's maximum, a half-width one (katakana included) 1.
// Words for 被保険者証記号; several hold a character whose second byte is 0x5C (表 能 十 予 申 ソ 構),
// the byte of a backslash, which a reader that is not code-page aware would split.
constexpr const char* kSymbolWords[] = {
    "東京都", "大阪", "北海道", "神奈川",   "福岡",   "愛知",     "京都", "札幌",   "国保", "健保",
    "組合",   "共済", "協会",   "船員",     "退職",   "表町",     "能登", "十日町", "予備", "申請",
    "構内",   "本人", "家族",   "ソウゴウ", "ケンポ", "カイシャ", "第",   "号",     "区",   "市",
};
constexpr const char* kKanji[] = {
    "東", "西", "南", "北", "中", "本", "表", "能", "十", "予", "申", "構", "国", "保",
    "組", "合", "共", "済", "市", "町", "村", "区", "県", "都", "府", "道", "第", "号",
};
constexpr const char* kSeparators[] = {"－", "-", "・", "ｰ", "／", "/"};
constexpr std::string_view kHalfDigits = "0123456789";
constexpr std::string_view kFullDigits = "０１２３４５６７８９";  // 2 bytes each
constexpr std::string_view kFullLetters = "ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ";
constexpr std::string_view kHalfKana = "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜｦﾝ";
constexpr std::string_view kVoiceableKana = "ｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾊﾋﾌﾍﾎ";  // the last five also take ﾟ
constexpr std::size_t kSemiVoiceableFrom = 15;
constexpr const char* kVoicedMark = "ﾞ";
constexpr const char* kSemiVoicedMark = "ﾟ";
constexpr const char* kBlanks[] = {" ", "　"};  // half-width, full-width (U+3000)
constexpr const char* kRemarks[] = {"01", "02", "12", "1", "済", "ｶﾞ"};

// A field of at most kCardFieldMax bytes, built piece by piece; a piece that does not fit is left out.
class CCardField {
public:
    explicit CCardField(std::size_t limit) : m_limit(limit) {}
    std::size_t Room() const { return m_limit - m_size; }
    bool Add(std::string_view piece) {
        if (piece.size() > Room()) return false;
        std::memcpy(m_bytes + m_size, piece.data(), piece.size());
        m_size += piece.size();
        return true;
    }
    std::string_view Text() const { return {m_bytes, m_size}; }

private:
    char m_bytes[kCardFieldMax];
    std::size_t m_size = 0;
    std::size_t m_limit;
};

// Days of a month of the Gregorian calendar.
int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Everything a file's records share: the processing month the file was made for.
struct FileContext {
    int processYear;
    int processMonth;
};

class CRecordWriter {
public:
    CRecordWriter(CRandom& random, const FileContext& context, std::string& out)
        : m_random(random), m_context(context), m_out(out) {}

    void AppendRecord() {
        const bool inpatient = m_random.Percent(20);
        AppendInstitution();
        Comma();
        if (!m_random.Percent(70)) m_out += m_random.Pick(kRemarks);
        Comma();
        AppendInsurer();
        Comma();
        AppendCardSymbol();
        Comma();
        AppendCardNumber();
        Comma();
        AppendDate(std::max(1, m_context.processYear - static_cast<int>(m_random.Between(0, 95))),
                   static_cast<int>(m_random.Between(1, 12)));
        Comma();
        m_out += m_random.Percent(50) ? '1' : '2';
        Comma();
        AppendDigits(m_context.processYear, 4);
        AppendDigits(m_context.processMonth, 2);
        Comma();
        int careYear = m_context.processYear;
        int careMonth = m_context.processMonth - static_cast<int>(m_random.Between(1, 3));
        if (careMonth < 1) {
            careMonth += 12;
            --careYear;
        }
        AppendDigits(careYear, 4);
        AppendDigits(careMonth, 2);
        Comma();
        // Odd codes are inpatient stays (本人入院, 家族入院, ...), even ones outpatient care.
        AppendDigits(2 * m_random.Between(0, 3) + (inpatient ? 1 : 2), 1);
        Comma();
        if (inpatient) {
            const bool longStay = m_random.Percent(30);
            AppendDate(longStay ? std::max(1, careYear - static_cast<int>(m_random.Between(0, 2))) : careYear,
                       longStay ? static_cast<int>(m_random.Between(1, 12)) : careMonth);
        }
        Comma();
        AppendNumber(inpatient ? m_random.Between(1, 31) : m_random.Between(1, 8));
        Comma();
        AppendPoints(inpatient);
        Comma();
        AppendMeals(inpatient);
        Comma();
        AppendDigits(m_random.Between(1, 22), 2);  // chapter and section of the disease table
        AppendDigits(m_random.Between(1, 20), 2);
        m_out += "\r\n";
    }

private:
    void Comma() { m_out += ','; }

    void AppendDigits(std::int64_t value, int width) {
        char digits[20];
        for (int i = width - 1; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        m_out.append(digits, static_cast<std::size_t>(width));
    }
    void AppendNumber(std::int64_t value) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        m_out.append(digits, result.ptr);
    }
    // YYYYMMDD with a day that exists in that month.
    void AppendDate(int year, int month) {
        AppendDigits(year, 4);
        AppendDigits(month, 2);
        AppendDigits(m_random.Between(1, DaysInMonth(year, month)), 2);
    }

    // 10 digits: prefecture, fee table (1 medical, 3 dental), institution number.
    void AppendInstitution() {
        AppendDigits(m_random.Between(1, 47), 2);
        m_out += m_random.Percent(85) ? '1' : '3';
        AppendDigits(m_random.Between(0, 9999999), 7);
    }
    // 8 digits (law number, prefecture, insurer, check digit), or the 6 of national health insurance.
    void AppendInsurer() {
        static constexpr int kLawNumbers[] = {1, 2, 6, 31, 32, 33, 34, 63, 67};
        if (m_random.Percent(30)) {
            AppendDigits(m_random.Between(1, 47), 2);
            AppendDigits(m_random.Between(0, 9999), 4);
            return;
        }
        AppendDigits(kLawNumbers[m_random.Below(std::size(kLawNumbers))], 2);
        AppendDigits(m_random.Between(1, 47), 2);
        AppendDigits(m_random.Between(0, 9999), 4);
    }

    void AddBlanks(CCardField& field) {
        for (auto count = m_random.Between(1, 2); count > 0; --count) field.Add(m_random.Pick(kBlanks));
    }

    // 被保険者証記号: words, digits and letters of either width, half-width katakana with sound marks,
    // separators, sometimes blanks around or between; sometimes empty, sometimes exactly 40 bytes.
    void AppendCardSymbol() {
        if (m_random.Percent(3)) return;
        if (m_random.Percent(2)) {
            CCardField full(kCardFieldMax);
            while (full.Add(m_random.Pick(kKanji))) {
            }
            m_out += full.Text();
            return;
        }
        const std::size_t trailing = m_random.Percent(15) ? m_random.Between(1, 2) * 2 : 0;
        CCardField field(kCardFieldMax - trailing);
        if (m_random.Percent(15)) AddBlanks(field);
        for (auto tokens = m_random.Between(1, 4); tokens > 0; --tokens) {
            if (m_random.Percent(8)) field.Add(m_random.Pick(kBlanks));
            char token[kCardFieldMax];
            std::size_t size = 0;
            auto put = [&](std::string_view piece) {
                if (size + piece.size() <= sizeof token) {
                    std::memcpy(token + size, piece.data(), piece.size());
                    size += piece.size();
                }
            };
            switch (m_random.Below(7)) {
                case 0: put(m_random.Pick(kSymbolWords)); break;
                case 1:
                    for (auto n = m_random.Between(1, 4); n > 0; --n)
                        put(kFullDigits.substr(m_random.Below(10) * 2, 2));
                    break;
                case 2:
                    for (auto n = m_random.Between(1, 6); n > 0; --n) put(kHalfDigits.substr(m_random.Below(10), 1));
                    break;
                case 3:
                    for (auto n = m_random.Between(1, 2); n > 0; --n)
                        put(kFullLetters.substr(m_random.Below(26) * 2, 2));
                    break;
                case 4: {
                    const std::string_view letters =
                        m_random.Percent(80) ? "ABCDEFGHIJKLMNOPQRSTUVWXYZ" : "abcdefghijklmnopqrstuvwxyz";
                    for (auto n = m_random.Between(1, 3); n > 0; --n) put(letters.substr(m_random.Below(26), 1));
                    break;
                }
                case 5:
                    for (auto n = m_random.Between(1, 4); n > 0; --n) {
                        if (m_random.Percent(40)) {
                            const std::size_t base = m_random.Below(kVoiceableKana.size());
                            put(kVoiceableKana.substr(base, 1));
                            put(base >= kSemiVoiceableFrom && m_random.Percent(50) ? kSemiVoicedMark : kVoicedMark);
                        } else {
                            put(kHalfKana.substr(m_random.Below(kHalfKana.size()), 1));
                        }
                    }
                    break;
                default: put(m_random.Pick(kSeparators)); break;
            }
            field.Add({token, size});
        }
        m_out += field.Text();
        // The trailing blanks were kept out of the field's limit, so they always fit.
        for (std::size_t room = trailing; room > 0; room -= 2) m_out += m_random.Percent(50) ? "　" : "  ";
    }

    // 被保険者証番号: half- or full-width digits (or a mix), sometimes with blanks around, sometimes
    // empty, sometimes exactly 40 bytes.
    void AppendCardNumber() {
        if (m_random.Percent(1)) return;
        // All half-width, all full-width, or each digit either way.
        const std::uint64_t widePercent = m_random.Percent(60) ? 0 : (m_random.Percent(60) ? 100 : 50);
        const bool blanks = m_random.Percent(5);
        CCardField field(blanks ? kCardFieldMax - 4 : kCardFieldMax);
        if (blanks) AddBlanks(field);
        const bool full = m_random.Percent(2);
        for (std::int64_t n = full ? kCardFieldMax : m_random.Between(1, 10); n > 0; --n) {
            const std::uint64_t digit = m_random.Below(10);
            const bool wide = m_random.Percent(widePercent);
            if (!field.Add(wide ? kFullDigits.substr(digit * 2, 2) : kHalfDigits.substr(digit, 1))) break;
        }
        m_out += field.Text();
        if (blanks) m_out += m_random.Pick(kBlanks);
    }

    // 保険_決定点数 (at most 9 bytes): usually a few hundred or thousand points, sometimes a negative
    // correction, rarely a value that fills all 9 bytes.
    void AppendPoints(bool inpatient) {
        if (m_random.Percent(2)) {
            AppendNumber(-m_random.Between(1, m_random.Percent(10) ? 99999999 : 99999));
        } else if (m_random.OneIn(200)) {
            AppendNumber(m_random.Between(100000000, 999999999));
        } else {
            AppendNumber(inpatient ? m_random.Between(2000, 300000) : m_random.Between(50, 9000));
        }
    }

    // 保険_食事・生活回数 (at most 3) and 保険_食事・生活決定基準額 (at most 8): meals of a stay at
    // 260 yen each; empty for outpatients, sometimes a negative correction.
    void AppendMeals(bool inpatient) {
        if (!inpatient) {
            Comma();
            if (m_random.Percent(5)) AppendNumber(m_random.Percent(50) ? 0 : -m_random.Between(1, 9999999));
            return;
        }
        const std::int64_t meals = m_random.OneIn(50) ? m_random.Between(100, 999) : m_random.Between(0, 93);
        AppendNumber(meals);
        Comma();
        if (m_random.Percent(5)) return;
        if (m_random.Percent(3)) {
            AppendNumber(-260 * m_random.Between(1, 93));
        } else if (m_random.OneIn(100)) {
            AppendNumber(m_random.Between(10000000, 99999999));
        } else {
            AppendNumber(meals * 260);
        }
    }

    CRandom& m_random;
    const FileContext& m_context;
    std::string& m_out;
};

// A file written from a large buffer; every failure is reported here, with the path.
class COutputFile {
public:
    explicit COutputFile(std::string path) : m_path(std::move(path)) { m_buffer.reserve(kWriteBufferSize + kLineRoom); }
    ~COutputFile() {
        if (m_file) std::fclose(m_file);
    }
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    bool Open() {
        m_file = std::fopen(m_path.c_str(), "wb");
        return m_file != nullptr || Fail("cannot create");
    }
    std::string& Buffer() { return m_buffer; }
    // Writes the buffer out once it is full; true unless writing failed.
    bool WriteIfFull() { return m_buffer.size() < kWriteBufferSize || Flush(); }
    bool Flush() {
        if (!m_buffer.empty() && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size()) {
            return Fail("cannot write");
        }
        m_buffer.clear();
        return true;
    }
    bool Close() {
        const bool ok = Flush();
        const int closed = std::fclose(m_file);
        m_file = nullptr;
        return ok && (closed == 0 || Fail("cannot write"));
    }

private:
    bool Fail(const char* what) {
        std::fprintf(stderr, "gen_claims: %s %s: %s\n", what, m_path.c_str(), std::strerror(errno));
        return false;
    }

    std::string m_path;
    std::FILE* m_file = nullptr;
    std::string m_buffer;
};

// The file's records come from fileSeed; seed and fileIndex only go into its header comment.
bool WriteClaimFile(const std::string& path, std::uint64_t records, std::uint64_t seed, std::uint64_t fileIndex,
                    std::uint64_t fileSeed, const FileContext& context) {
    COutputFile file(path);
    if (!file.Open()) return false;
    std::string& out = file.Buffer();
    char header[160];
    std::snprintf(header, sizeof header, "# 合成レセプトデータ seed=%llu file=%llu records=%llu\r\n",
                  static_cast<unsigned long long>(seed), static_cast<unsigned long long>(fileIndex),
                  static_cast<unsigned long long>(records));
    out += header;
    // A comment holding commas: it is still a comment, not a record.
    out +=
        "#医療機関のコード,備考,保険者番号,被保険者証記号,被保険者証番号,生年月日,性別,処理年月,"
        "診療年月,本人家族入外,入院年月日,保険_診療実日数,保険_決定点数,保険_食事・生活回数,"
        "保険_食事・生活決定基準額,疾病コード\r\n";
    CRandom random(fileSeed);
    CRecordWriter writer(random, context, out);
    for (std::uint64_t i = 0; i < records; ++i) {
        writer.AppendRecord();
        if (random.OneIn(kBlankLineEvery)) out += "\r\n";
        if (random.OneIn(kCommentLineEvery)) {
            out += "# 第";
            char number[24];
            out.append(number, std::to_chars(number, number + sizeof number, i + 1).ptr);
            out += "件まで\r\n";
        }
        if (!file.WriteIfFull()) return false;
    }
    return file.Close();
}

struct Options {
    std::string outFolder;
    std::string singlePath;
    std::uint64_t files = 0;
    std::uint64_t records = 0;
    std::uint64_t seed = kDefaultSeed;
    std::string nameStart{kDefaultNameStart};
    bool haveFiles = false;
    bool haveRecords = false;
    bool haveNameStart = false;
};

bool ParseCount(std::string_view text, std::uint64_t& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Every option once, each with its value; --out with --files, or --single, never both.
std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    bool seen[6] = {};
    for (int i = 1; i < argc; i += 2) {
        const std::string_view name = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        const std::string_view value = argv[i + 1];
        int which = 0;
        bool ok = true;
        if (name == "--out") {
            which = 0;
            options.outFolder = value;
            ok = !value.empty();
        } else if (name == "--single") {
            which = 1;
            options.singlePath = value;
            ok = !value.empty();
        } else if (name == "--files") {
            which = 2;
            options.haveFiles = true;
            ok = ParseCount(value, options.files) && options.files >= 1 && options.files <= kMaxFiles;
        } else if (name == "--records") {
            which = 3;
            options.haveRecords = true;
            ok = ParseCount(value, options.records) && options.records <= kMaxRecords;
        } else if (name == "--seed") {
            which = 4;
            ok = ParseCount(value, options.seed);
        } else if (name == "--name-start") {
            which = 5;
            options.haveNameStart = true;
            options.nameStart = value;  // checked when the names are made
        } else {
            return std::nullopt;
        }
        if (!ok || seen[which]) return std::nullopt;
        seen[which] = true;
    }
    const bool folderForm = !options.outFolder.empty() && options.haveFiles && options.singlePath.empty();
    const bool singleForm =
        !options.singlePath.empty() && options.outFolder.empty() && !options.haveFiles && !options.haveNameStart;
    if (!options.haveRecords || folderForm == singleForm) return std::nullopt;
    return options;
}

// A file-name time: fourteen digits YYYYMMDDhhmmss of a real calendar date and time.
struct NameTime {
    int year, month, day, hour, minute, second;

    void AddSecond() {
        if (++second < 60) return;
        second = 0;
        if (++minute < 60) return;
        minute = 0;
        if (++hour < 24) return;
        hour = 0;
        if (++day <= DaysInMonth(year, month)) return;
        day = 1;
        if (++month <= 12) return;
        month = 1;
        ++year;
    }
    // Empty once the year has passed 9999.
    std::string Name() const {
        if (year > 9999) return {};
        char name[32];
        std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
        return name;
    }
    FileContext Context() const { return {year, month}; }
};

std::optional<NameTime> ParseNameTime(std::string_view text) {
    if (text.size() != 14) return std::nullopt;
    int parts[6];
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    std::size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        const auto result = std::from_chars(text.data() + at, text.data() + at + widths[i], parts[i]);
        if (result.ec != std::errc() || result.ptr != text.data() + at + widths[i] || text[at] == '-') {
            return std::nullopt;
        }
        at += widths[i];
    }
    const NameTime time{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
    if (time.year < 1 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > DaysInMonth(time.year, time.month) || time.hour > 23 || time.minute > 59 || time.second > 59) {
        return std::nullopt;
    }
    return time;
}

int Usage(const char* problem) {
    std::fprintf(stderr, "gen_claims: %s\n%s", problem, kUsage);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("%s%s", kUsage, kHelp);
        return kExitOk;
    }
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) return Usage("bad or missing options");
    const std::optional<NameTime> start = ParseNameTime(options->nameStart);
    if (!start) return Usage("--name-start must be fourteen digits YYYYMMDDhhmmss of a real time");

    // Each file draws from its own stream, seeded from one master stream of the given seed; so the
    // single file equals the first file of a folder made with the same seed.
    CRandom seeds(options->seed);
    if (!options->singlePath.empty()) {
        return WriteClaimFile(options->singlePath, options->records, options->seed, 0, seeds.Next(), start->Context())
                   ? kExitOk
                   : kExitFailed;
    }
    NameTime last = *start;
    for (std::uint64_t i = 1; i < options->files; ++i) last.AddSecond();
    if (last.Name().empty()) return Usage("file names would pass the year 9999");

    std::error_code error;
    std::filesystem::create_directories(options->outFolder, error);
    if (error) {
        std::fprintf(stderr, "gen_claims: cannot create %s: %s\n", options->outFolder.c_str(), error.message().c_str());
        return kExitFailed;
    }
    NameTime time = *start;
    for (std::uint64_t i = 0; i < options->files; ++i, time.AddSecond()) {
        const std::string path = options->outFolder + "/" + time.Name() + ".csv";
        if (!WriteClaimFile(path, options->records, options->seed, i, seeds.Next(), time.Context())) {
            return kExitFailed;
        }
    }
    return kExitOk;
}
