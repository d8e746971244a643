// What the fuzz targets share: a plain model of the claim-file reader, the failure report, and a
// fast temporary folder. The model is written from the rules of the format, not from the reader:
//   - the file is read 1,024 bytes at a time; a short read (the end of the file) that ends in 0x1A
//     loses that byte;
//   - a full chunk is cut after its last LF and the next read starts there; a full chunk without
//     an LF stands as one line;
//   - LF ends a line, a CR right before it is dropped; a line counts its length + 2 for CR LF (and
//     for the file's last line without a line end, or a chunk standing as one line), + 1 for LF;
//   - empty lines and lines starting with '#' are skipped; NUL is a byte like any other;
//   - fields are split at ',' outside double-byte characters (lead byte 0x81-0x9F or 0xE0-0xFC and
//     whatever byte follows it).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace fuzz {

constexpr std::size_t kChunk = 1024;

struct Record {
    std::string line;  // without its line end
    std::vector<std::string> fields;
    std::int64_t bytes = 0;
};

inline bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

inline std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ',') {
            fields.push_back(line.substr(start, i - start));
            start = i + 1;
        } else if (IsLead(static_cast<unsigned char>(line[i])) && i + 1 < line.size()) {
            ++i;  // its second byte, whatever it is
        }
    }
    fields.push_back(line.substr(start));
    return fields;
}

inline std::vector<Record> ReadModel(const std::string& content) {
    std::vector<Record> records;
    // A line beginning with "#" is skipped whole: also the pieces after its first, when it is
    // longer than a chunk and ends in a later one.
    bool inComment = false;
    auto deliver = [&](std::string line, std::int64_t terminator, bool ended) {
        const std::int64_t bytes = static_cast<std::int64_t>(line.size()) + terminator;
        const bool comment = inComment || (!line.empty() && line[0] == '#');
        inComment = comment && !ended;
        if (line.empty() || comment) return;
        std::vector<std::string> fields = SplitFields(line);
        records.push_back({std::move(line), std::move(fields), bytes});
    };
    for (std::size_t position = 0; position < content.size();) {
        std::string chunk = content.substr(position, kChunk);
        if (chunk.size() < kChunk) {
            position = content.size();
            if (chunk.back() == 0x1A) chunk.pop_back();
        } else if (const std::size_t lf = chunk.rfind('\n'); lf != std::string::npos) {
            chunk.resize(lf + 1);
            position += lf + 1;
        } else {
            position += kChunk;
        }
        std::size_t start = 0;
        for (std::size_t lf; (lf = chunk.find('\n', start)) != std::string::npos; start = lf + 1) {
            const bool cr = lf > start && chunk[lf - 1] == '\r';
            deliver(chunk.substr(start, lf - start - (cr ? 1 : 0)), cr ? 2 : 1, true);
        }
        if (start < chunk.size()) deliver(chunk.substr(start), 2, false);
    }
    return records;
}

inline std::string Hex(const std::string& bytes, std::size_t limit = 200) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        out += digits[static_cast<unsigned char>(bytes[i]) >> 4];
        out += digits[static_cast<unsigned char>(bytes[i]) & 15];
    }
    if (bytes.size() > limit) out += "...";
    return out;
}

inline std::string Show(const std::vector<std::string>& fields) {
    std::string out = std::to_string(fields.size()) + " fields:";
    for (const std::string& field : fields) out += " [" + Hex(field, 48) + "]";
    return out;
}

// A broken rule: says which on stderr and stops, so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "\n==== invariant violated: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// Temporary folders go to memory (/dev/shm) unless TMPDIR names a place: the targets write a file
// or more for every input.
inline void PreferMemoryTempFolder() {
    struct stat info;
    if (std::getenv("TMPDIR") == nullptr && stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode)) {
        setenv("TMPDIR", "/dev/shm", 0);
    }
}

}  // namespace fuzz
