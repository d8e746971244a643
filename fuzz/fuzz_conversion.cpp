// Fuzz target: CConversionRun::ConvertFile on any bytes as the claim file 20080423120000.CSV.
//
// Input: one header byte, then the file. The header picks the split limit: bits 0-1 give k, 0 for
// no split, else k records' charge (173 bytes each) plus bit 2, so 173 to 520 bytes a file. With
// bits 3-5 all set, 4,094 to 4,097 (4,094 + bits 6-7) valid records of empty fields come first, so that
// the input's own records meet the end of the conversion's first batch of 4,096 records, and the
// limit is 1,024 times larger (files of 1,023 or 1,024 records end there too).
// The outcome must agree with the records the reader model finds (fuzz_support.h):
//   - a file without records (empty, or blank and comment lines alone): NoData; the first record
//     with other than 16 fields or with a NUL byte:
//     ColumnCountError; else the first with a field over its length: FieldLengthError; each with
//     read_count counting that record, nothing written, and the output folder left empty;
//   - otherwise Normal: the output folder holds exactly 20080423120000_001.CSV to _NNN.CSV (NNN the
//     file count), no file over the limit, every line ends in CR LF and has 16 fields, as many
//     lines as records read and written, and every record in order: remarks and the two reference
//     halves in their fixed form, the fields neither converted nor padded unchanged.
// No message is shown, and nothing is logged but, for a rejected file, the one entry that names the
// record (also told to the driver). The output folder and the log are emptied after each input.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/conversion_run.h"
#include "fuzz/fuzz_support.h"
#include "tests/test_support.h"

namespace {

const std::string kBase = "20080423120000";
constexpr std::uint64_t kCharge = 173;
constexpr int kFields = 16;
constexpr std::size_t kMaxLength[kFields] = {10, 2, 8, 40, 40, 8, 1, 6, 6, 1, 8, 2, 9, 3, 8, 4};
// Fields the conversion rewrites: the remarks code, the two reference halves, the two padded amounts.
constexpr bool kRewritten[kFields] = {false, true,  false, true,  true, false, false, false,
                                      false, false, false, false, true, false, true,  false};

struct Folders {
    TempDir in;
    TempDir out;
    TempDir logs;
    FakeClock clock;
    CLogFile log{"fuzz_conversion", clock};
    Folders() {
        if (!log.InitLog(logs.Path())) fuzz::Fail("the log folder cannot be used");
    }
};

std::string FinalName(int number) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%03d.CSV", number);
    return kBase + suffix;
}

// The status the records call for, and how many of them are read until then.
FileStatus ExpectedStatus(const std::vector<fuzz::Record>& records, int& readCount) {
    if (records.empty()) {
        readCount = 0;
        return NoData;
    }
    for (std::size_t index = 0; index < records.size(); ++index) {
        readCount = static_cast<int>(index + 1);
        const std::vector<std::string>& fields = records[index].fields;
        if (fields.size() != kFields) return ColumnCountError;
        for (const std::string& field : fields) {
            if (field.find('\0') != std::string::npos) return ColumnCountError;
        }
        for (int position = 0; position < kFields; ++position) {
            if (fields[position].size() > kMaxLength[position]) return FieldLengthError;
        }
    }
    readCount = static_cast<int>(records.size());
    return Normal;
}

bool IsReferenceHalf(const std::string& field) {
    if (field.size() != 40) return false;
    for (char c : field) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

void CheckOutputs(const Folders& folders, const std::vector<fuzz::Record>& records, const FileResult& result,
                  std::uint64_t limit) {
    const std::vector<std::string> names = ListNames(folders.out.Path());  // sorted
    std::vector<std::string> wanted;                                       // in file order
    for (int number = 1; number <= result.file_count; ++number) wanted.push_back(FinalName(number));
    std::vector<std::string> sortedWanted = wanted;
    std::sort(sortedWanted.begin(), sortedWanted.end());
    if (names != sortedWanted) {
        std::string listed;
        for (const std::string& name : names) listed += " " + name;
        fuzz::Fail("output folder holds [" + listed + " ] for file_count " + std::to_string(result.file_count));
    }
    std::size_t record = 0;
    for (const std::string& name : wanted) {
        const std::string text = ReadBytes(folders.out / name);
        if (limit != 0 && text.size() > limit) {
            fuzz::Fail(name + " holds " + std::to_string(text.size()) + " bytes over the limit " +
                       std::to_string(limit));
        }
        std::size_t start = 0;
        for (std::size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1) {
            const std::string where = name + " line at byte " + std::to_string(start);
            if (lf == start || text[lf - 1] != '\r') fuzz::Fail(where + " does not end in CR LF");
            const std::vector<std::string> fields = fuzz::SplitFields(text.substr(start, lf - 1 - start));
            if (fields.size() != kFields) fuzz::Fail(where + " has " + fuzz::Show(fields));
            if (record >= records.size())
                fuzz::Fail(where + " is more than the " + std::to_string(records.size()) + " records");
            const std::vector<std::string>& input = records[record++].fields;
            for (int position = 0; position < kFields; ++position) {
                if (!kRewritten[position] && fields[position] != input[position]) {
                    fuzz::Fail(where + ": field " + std::to_string(position) +
                               " changed\n  input:  " + fuzz::Show(input) + "\n  output: " + fuzz::Show(fields));
                }
            }
            if (fields[1] != "a2" || !IsReferenceHalf(fields[3]) || !IsReferenceHalf(fields[4])) {
                fuzz::Fail(where + ": remarks or reference not converted: " + fuzz::Show(fields));
            }
        }
        if (start != text.size()) fuzz::Fail(name + " ends without a line end");
    }
    if (record != records.size() || static_cast<int>(record) != result.written_count) {
        fuzz::Fail("the outputs hold " + std::to_string(record) + " lines, written_count " +
                   std::to_string(result.written_count) + ", records " + std::to_string(records.size()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::PreferMemoryTempFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folders folders;
    const unsigned header = size > 0 ? data[0] : 0;
    const bool many = (header & 0x38) == 0x38;
    // The smallest valid record (every field empty) keeps the way to the batch's end cheap.
    std::string content;
    for (unsigned i = 0; many && i < 4094 + (header >> 6); ++i) content += ",,,,,,,,,,,,,,,\r\n";
    if (size > 0) content.append(reinterpret_cast<const char*>(data) + 1, size - 1);
    const unsigned k = header & 3;
    const std::uint64_t limit = k == 0 ? 0 : kCharge * k * (many ? 1024 : 1) + ((header >> 2) & 1);

    const std::string input = folders.in / (kBase + ".CSV");
    WriteBytes(input, content);
    FakeHost host;
    host.outputFolder = folders.out.Path();
    host.splitLimit = limit;
    InputFileStore files;
    files.folder = folders.in.Path();
    RunFlags flags;
    CConversionRun run(host, files, flags, folders.log, folders.clock);
    FileResult result;
    FileStatus status = Failed;
    try {
        status = run.ConvertFile(input, result);
    } catch (const std::exception& error) {
        fuzz::Fail(std::string("ConvertFile threw: ") + error.what());
    }

    const std::vector<fuzz::Record> records = fuzz::ReadModel(content);
    int readCount = 0;
    const FileStatus expected = ExpectedStatus(records, readCount);
    if (status != expected || result.read_count != readCount) {
        fuzz::Fail("status " + std::to_string(status) + " after " + std::to_string(result.read_count) +
                   " records, expected " + std::to_string(expected) + " after " + std::to_string(readCount));
    }
    if (!host.messages.empty()) fuzz::Fail("a message was shown: " + fuzz::Hex(host.messages[0].first));
    // A rejected record is named once, to the driver and in the log; nothing else is logged.
    const bool rejected = status == ColumnCountError || status == FieldLengthError;
    const std::string logged = Exists(folders.log.Path()) ? ReadBytes(folders.log.Path()) : "";
    if (!rejected && !logged.empty()) fuzz::Fail("something was logged: " + fuzz::Hex(logged));
    if (rejected) {
        const std::string prefix = kBase + ".CSV:";
        if (host.rejections.size() != 1 || host.rejections[0].compare(0, prefix.size(), prefix) != 0) {
            fuzz::Fail("the rejected record was not named once");
        }
        const std::string entry = host.rejections[0] + "\r\n";
        if (std::count(logged.begin(), logged.end(), '\n') != 1 || logged.size() < entry.size() ||
            logged.compare(logged.size() - entry.size(), entry.size(), entry) != 0) {
            fuzz::Fail("the log does not hold the one entry naming the record: " + fuzz::Hex(logged));
        }
        std::filesystem::remove(std::filesystem::path(folders.log.Path()));
    } else if (!host.rejections.empty()) {
        fuzz::Fail("a record was named though the file was not rejected");
    }
    if (status == Normal) {
        if (result.written_count != result.read_count || result.error_count != 0) {
            fuzz::Fail("Normal with read_count " + std::to_string(result.read_count) + ", written_count " +
                       std::to_string(result.written_count) + ", error_count " + std::to_string(result.error_count));
        }
        CheckOutputs(folders, records, result, limit);
    } else {
        if (result.written_count != 0 || result.file_count != 0 || result.error_count != 1) {
            fuzz::Fail("a rejected input with written_count " + std::to_string(result.written_count) + ", file_count " +
                       std::to_string(result.file_count) + ", error_count " + std::to_string(result.error_count));
        }
        if (!ListNames(folders.out.Path()).empty()) {
            fuzz::Fail("a rejected input left " + ListNames(folders.out.Path()).front() + " in the output folder");
        }
    }

    for (const std::string& name : ListNames(folders.out.Path())) {
        std::filesystem::remove_all(std::filesystem::path(folders.out / name));
    }
    return 0;
}
