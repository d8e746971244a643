// The record checks: field count and field lengths. See record_layout.h.
#include "engine/record_layout.h"

#include <exception>

#include "base/mbcs.h"

// Names are code page 932 text through the compiler's execution character set.
constexpr FieldInfo kFieldTable[kFieldCount] = {
    {"医療機関のコード", 10},
    {"備考", 2},
    {"保険者番号", 8},
    {"被保険者証記号", 40},
    {"被保険者証番号", 40},
    {"生年月日", 8},
    {"性別", 1},
    {"処理年月", 6},
    {"診療年月", 6},
    {"本人家族入外", 1},
    {"入院年月日", 8},
    {"保険_診療実日数", 2},
    {"保険_決定点数", 9},
    {"保険_食事・生活回数", 3},
    {"保険_食事・生活決定基準額", 8},
    {"疾病コード", 4},
};

namespace {

constexpr std::uint64_t MaxRecordLength() {
    std::uint64_t total = 0;
    for (const FieldInfo& field : kFieldTable) total += static_cast<std::uint64_t>(field.maxLength);
    return total;
}

}  // namespace

// The fields at their maximum lengths, the 15 commas between them and CR LF.
static_assert(MaxRecordLength() + (kFieldCount - 1) + 2 == kRecordCharge);

bool IsFieldLengthValid(std::int32_t length, int position) {
    if (position < 0 || position >= kFieldCount) return false;
    return length <= kFieldTable[position].maxLength;
}

std::string FieldErrorText(FileStatus status, int position) {
    if (status != FieldLengthError || position < 0 || position >= kFieldCount) return std::string();
    // The text is only a message: running out of memory while composing it leaves it empty rather
    // than ending the conversion.
    try {
        std::string text = "桁数エラー（";
        text += kFieldTable[position].name;
        text += "）";
        return text;
    } catch (const std::exception&) {
        return std::string();
    }
}

RecordCheck CheckRecord(std::string_view record, std::string_view fields[kFieldCount]) {
    RecordCheck check;
    check.fieldCount = SplitViews(record, ',', fields, kFieldCount);
    // A NUL byte has no place in a claim record: it would cut the identifying text short and give
    // a wrong reference number, so the record is refused like one of the wrong shape.
    check.nul = record.find('\0') != std::string_view::npos;
    if (check.fieldCount != kFieldCount || check.nul) {
        check.status = ColumnCountError;
        return check;
    }
    for (int position = 0; position < kFieldCount; ++position) {
        const auto length = static_cast<std::int32_t>(fields[position].size());
        if (!IsFieldLengthValid(length, position)) {
            check.status = FieldLengthError;
            check.position = position;
            check.length = length;
            return check;
        }
    }
    return check;
}

std::string RecordFaultText(const RecordCheck& check) {
    if (check.status == FieldLengthError) {
        return FieldErrorText(FieldLengthError, check.position) + " (" + std::to_string(check.length) +
               " バイト、最大 " + std::to_string(kFieldTable[check.position].maxLength) + " バイト)";
    }
    if (check.status != ColumnCountError) return std::string();
    return check.nul ? "カラム数エラー (NUL バイト)"
                     : "カラム数エラー (項目数 " + std::to_string(check.fieldCount) + ")";
}
