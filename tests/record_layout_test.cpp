// The field length limits at their boundaries and the error text that names the field.
#include "engine/record_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string DoubleByte(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += "ア";  // two bytes in code page 932
    return out;
}

TEST(FieldLength, UpperBoundOnly) {
    const struct {
        int position;
        std::string value;
        bool valid;
    } cases[] = {
        {0, std::string(10, '1'), true},  // 医療機関のコード
        {0, std::string(11, '1'), false},
        {3, DoubleByte(20), true},  // 被保険者証記号, counted in bytes
        {3, DoubleByte(21), false},
        {6, "12", false},    // 性別
        {15, "1234", true},  // 疾病コード
        {15, "12345", false},
        {12, "1234567890", false},  // 保険_決定点数
        {5, "199901", true},        // a short 生年月日
        {7, "ABCDEF", true},        // letters in a date
        {9, "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.valid, IsFieldLengthValid(static_cast<std::int32_t>(c.value.size()), c.position))
            << c.position << ": " << c.value.size() << " bytes";
    }
}

TEST(FieldErrorText, NamesTheField) {
    EXPECT_EQ("桁数エラー（医療機関のコード）", FieldErrorText(FieldLengthError, 0));
    EXPECT_EQ("桁数エラー（保険者番号）", FieldErrorText(FieldLengthError, 2));
    EXPECT_EQ("桁数エラー（保険_決定点数）", FieldErrorText(FieldLengthError, 12));
    EXPECT_EQ("桁数エラー（保険_食事・生活決定基準額）", FieldErrorText(FieldLengthError, 14));
}

TEST(FieldErrorText, EmptyForOtherStatuses) {
    for (FileStatus status : {NotProcessed, Normal, Aborted, Processing, ColumnCountError, NoData, Failed}) {
        EXPECT_EQ("", FieldErrorText(status, 2)) << status;
    }
}

}  // namespace
