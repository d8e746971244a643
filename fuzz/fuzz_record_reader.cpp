// Fuzz target: the record reader on any bytes, record by record against the model of
// fuzz_support.h, with the end of the input staying the end. Each file is read twice: with
// ReadLine and SplitText (fields and returned byte counts), and with ReadLine and SplitViews, the path
// of the conversion (line text, byte counts, the number of fields and the first 16 of them).
//
// Input: two header bytes, then the file's own bytes. The header places those bytes against the
// 1,024-byte chunks and the 1 MiB read-ahead by putting a lead-in before them:
//   bits 0-9   lead-in length L, 0 to 1,023 bytes;
//   bits 10-11 what it is made of: 0 one comment line ending in CR LF, 1 empty CR LF lines (and
//              one LF when L is odd), 2 bare LFs, 3 one comment line ending in LF;
//   bits 12-15 all set: first about 1 MiB of comment lines, so that the bytes straddle the end of
//              the first read-ahead.
// Inputs shorter than two bytes are the file as they are.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/mbcs.h"
#include "engine/record_file.h"
#include "fuzz/fuzz_support.h"
#include "support/paths.h"
#include "tests/test_support.h"

namespace {

constexpr std::size_t kReadAhead = std::size_t{1} << 20;

// A comment line of exactly length bytes with its line end; a blank line when that is too short.
std::string CommentLine(std::size_t length, const std::string& end) {
    if (length <= end.size()) return end.substr(end.size() - length);
    return "#" + std::string(length - end.size() - 1, 'x') + end;
}

std::string LeadIn(std::size_t length, unsigned kind) {
    switch (kind) {
        case 0: return CommentLine(length, "\r\n");
        case 1: {
            std::string text;
            for (std::size_t i = 0; i < length / 2; ++i) text += "\r\n";
            return text + std::string(length % 2, '\n');
        }
        case 2: return std::string(length, '\n');
        default: return CommentLine(length, "\n");
    }
}

// The comment lines that fill the file up to 1,024 bytes before the end of the first read-ahead.
const std::string& FarLeadIn() {
    static const std::string text = [] {
        const std::size_t far = kReadAhead - fuzz::kChunk;
        std::string lines;
        while (lines.size() + 1000 <= far) lines += CommentLine(1000, "\r\n");
        return lines + CommentLine(far - lines.size(), "\r\n");
    }();
    return text;
}

// Fills content (kept from input to input, so that a far file costs no new allocation).
void FileContent(const std::uint8_t* data, std::size_t size, std::string& content) {
    content.clear();
    if (size < 2) {
        content.assign(reinterpret_cast<const char*>(data), size);
        return;
    }
    const unsigned header = data[0] | data[1] << 8;
    if ((header >> 12) == 0xF) content += FarLeadIn();
    content += LeadIn(header & 0x3FF, (header >> 10) & 3);
    content.append(reinterpret_cast<const char*>(data) + 2, size - 2);
}

std::string Describe(const fuzz::Record& record) {
    return fuzz::Show(record.fields) + ", " + std::to_string(record.bytes) + " bytes";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::PreferMemoryTempFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TempDir folder;
    static const std::string path = folder / "in.csv";
    static std::string content;
    FileContent(data, size, content);
    WriteBytes(path, content);
    const std::vector<fuzz::Record> expected = fuzz::ReadModel(content);

    // One reader for every input, opened anew for each: its 1 MiB read-ahead, allocated and zeroed
    // for every new reader, would otherwise cost more than all the rest. (An open starts every read
    // afresh; a failure that only a run of inputs shows would be a fault of that.) The clock makes a
    // failed open give up at once instead of waiting five minutes.
    static FakeClock clock;
    static CRecordReader file(clock);
    const auto open = [&] {
        if (file.OpenWithRetry(path, platform::File::modeRead) != 1) fuzz::Fail("the input cannot be opened");
    };
    const auto beyond = [&](std::size_t index, const std::string& what) {
        if (index < expected.size()) return;
        fuzz::Fail(what + " " + std::to_string(index) + " beyond the model's " + std::to_string(expected.size()));
    };
    const auto ended = [&](std::size_t index, const std::string& what) {
        if (index == expected.size()) return;
        fuzz::Fail(what + " ends after " + std::to_string(index) + " records, the model has " +
                   std::to_string(expected.size()));
    };

    open();
    for (std::size_t index = 0;; ++index) {
        fuzz::Record record;
        std::string_view line;
        record.bytes = file.ReadLine(line);
        if (record.bytes == 0) {
            ended(index, "SplitText");
            break;
        }
        SplitText(std::string(line), ",", record.fields);
        beyond(index, "SplitText: record");
        if (record.fields != expected[index].fields || record.bytes != expected[index].bytes) {
            fuzz::Fail("SplitText: record " + std::to_string(index) + "\n  reader: " + Describe(record) +
                       "\n  model:  " + Describe(expected[index]));
        }
    }
    if (std::string_view line; file.ReadLine(line) != 0) fuzz::Fail("ReadLine: a record after the end of the input");

    open();
    constexpr int kCapacity = 16;
    for (std::size_t index = 0;; ++index) {
        std::string_view line;
        const std::int64_t bytes = file.ReadLine(line);
        if (bytes == 0) {
            ended(index, "ReadLine");
            break;
        }
        beyond(index, "ReadLine: line");
        const fuzz::Record& model = expected[index];
        if (line != model.line || bytes != model.bytes) {
            fuzz::Fail("ReadLine: line " + std::to_string(index) + "\n  reader: [" + fuzz::Hex(std::string(line)) +
                       "], " + std::to_string(bytes) + " bytes\n  model:  [" + fuzz::Hex(model.line) + "], " +
                       std::to_string(model.bytes) + " bytes");
        }
        std::string_view pieces[kCapacity];
        const int count = SplitViews(line, ',', pieces, kCapacity);
        bool same = count == static_cast<int>(model.fields.size());
        for (int i = 0; same && i < std::min(count, kCapacity); ++i) same = pieces[i] == model.fields[i];
        if (!same) {
            std::vector<std::string> got(pieces, pieces + std::min(std::max(count, 0), kCapacity));
            fuzz::Fail("SplitViews of line " + std::to_string(index) + " [" + fuzz::Hex(model.line) +
                       "]: " + std::to_string(count) + " pieces, first " + fuzz::Show(got) +
                       "\n  model: " + fuzz::Show(model.fields));
        }
    }
    file.Close();
    return 0;
}
