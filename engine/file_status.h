// The result of converting one input file: its status code and its counts.
#pragma once

#include <cstdint>
#include <string>

enum FileStatus : std::int32_t {
    NotProcessed = 0,
    Normal = 1,
    Aborted = 2,
    Processing = 5,
    ColumnCountError = 8,
    FieldLengthError = 10,
    NoData = 11,
    Failed = -1,
};

// The counts are 64-bit: a file larger than any medium still counts right (the report prints them
// as plain decimal numbers either way).
struct FileResult {
    std::int64_t read_count = 0;     // records handed over by the reader, the faulty one included
    std::int64_t written_count = 0;  // records written to output files
    std::int64_t error_count = 0;    // 1 after no data, a column-count or a field-length error
    std::int64_t file_count = 0;     // output files created; also the number of the current one
    std::string message;             // no-data or field-length text, else empty
};
