// The layout of an input claim record: 16 comma-separated fields with maximum byte lengths
// (code page 932, a double-byte character counts 2), and the checks every record must pass.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file_status.h"

constexpr int kFieldCount = 16;

// Field positions that the output record changes.
enum FieldPosition : int {
    kFieldRemarks = 1,         // 備考
    kFieldCardSymbol = 3,      // 被保険者証記号
    kFieldCardNumber = 4,      // 被保険者証番号
    kFieldDecidedPoints = 12,  // 保険_決定点数
    kFieldMealAmount = 14,     // 保険_食事・生活決定基準額
};

struct FieldInfo {
    const char* name;  // code page 932
    std::int32_t maxLength;
};
extern const FieldInfo kFieldTable[kFieldCount];

// The longest output line there can be: the maximum field lengths (156) + 15 commas + CR LF. Every
// record is charged this much against an output file's split limit, whatever its real length.
constexpr std::uint64_t kRecordCharge = 173;

// True when length (bytes) is at most the maximum of the field at position (0-15).
bool IsFieldLengthValid(std::int32_t length, int position);
// "桁数エラー（<field name>）" for FieldLengthError; the empty text for any other status.
std::string FieldErrorText(FileStatus status, int position);

// What is wrong with a record line, if anything.
struct RecordCheck {
    FileStatus status = Normal;  // Normal, ColumnCountError or FieldLengthError
    int fieldCount = 0;          // the fields found
    bool nul = false;            // a NUL byte (refused like a wrong field count)
    int position = 0;            // FieldLengthError: the first field over its length, and its length
    std::int32_t length = 0;
};
// Splits record at its commas into fields (views into record; the first 16) and checks the field
// count, NUL bytes and the field lengths, in that order. Allocates nothing.
RecordCheck CheckRecord(std::string_view record, std::string_view fields[kFieldCount]);
// The report's text for a faulty record with its detail: "カラム数エラー (項目数 15)",
// "カラム数エラー (NUL バイト)", "桁数エラー（保険者番号） (9 バイト、最大 8 バイト)".
std::string RecordFaultText(const RecordCheck& check);
