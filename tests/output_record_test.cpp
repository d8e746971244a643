// The text operations of the output record and whole output lines built from checked records.
#include "engine/output_record.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/record_layout.h"

namespace {

TEST(ZeroPadLeft, PadsAfterTheSign) {
    const struct {
        std::string text;
        int width;
        std::string expected;
    } cases[] = {
        {"123", 9, "000000123"},       {"-12", 9, "-00000012"},         {"", 9, "000000000"},
        {"123456789", 9, "123456789"}, {"-123456789", 9, "-123456789"}, {"12-", 5, "0012-"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, ZeroPadLeft(c.text, "0", c.width)) << c.text;
}

TEST(TrimSpaces, WidensSpacesThenTrimsEnds) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"　AB ", "AB"},
        {" \t\r\n\v\fX\f\n", "X"},
        {"A　B", "A B"},  // inside, an ideographic space stays as a space
        {"　 　", ""},
        // 0x82 0x81 is one character; the 0x81 0x40 that a byte search would find straddles two.
        {"\x82\x81\x40", "\x82\x81\x40"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, TrimSpaces(c.text)) << c.text;
}

TEST(JoinFields, CommasThenLineEnd) {
    EXPECT_EQ("", JoinFields({}));
    EXPECT_EQ("a\r\n", JoinFields({"a"}));
    EXPECT_EQ("a,,b\r\n", JoinFields({"a", "", "b"}));
}

std::vector<std::string> Record(const std::string& symbol, const std::string& number) {
    return {"1234567890", "XX", "06123456", symbol, number, "19700101", "1", "202401",
            "202312",     "2",  "",         "15",   "123",  "3",        "",  "1234"};
}

class BuildOutputLineTest : public testing::Test {
  protected:
    const CReferenceDigest m_digest{kReferenceKey, kReferenceOutputLength};

    std::string Reference(const std::string& text) const {
        return m_digest.HexDigest(text) + std::string(16, '0');
    }
};

TEST_F(BuildOutputLineTest, WholeLine) {
    std::vector<std::string> fields = Record("　AB ", "123");
    const std::string reference = Reference("ＡＢ１２３");
    const std::string expected = "1234567890,a2,06123456," + reference.substr(0, 40) + "," +
                                 reference.substr(40) +
                                 ",19700101,1,202401,202312,2,,15,000000123,3,00000000,1234\r\n";
    EXPECT_EQ(expected, BuildOutputLine(fields, m_digest));
    EXPECT_EQ(expected, JoinFields(fields));  // the fields were changed in place
}

TEST_F(BuildOutputLineTest, SameIdentityWrittenDifferently) {
    struct Variant {
        std::string symbol, number, digested;
    };
    const Variant variants[] = {
        {"　AB ", "123", "ＡＢ１２３"}, {"ＡＢ", "123", "ＡＢ１２３"},
        {"AB", "１２３", "ＡＢ１２３"}, {"", "  AB123  ", "ＡＢ１２３"},
        {"A　B", "1", "Ａ　Ｂ１"},  // inner space survives and widens back
        {"A B ", "1", "Ａ　Ｂ１"},      {"", "", ""},
    };
    std::string previousLine;
    std::vector<std::string> previousFields = Record("", "");
    for (const Variant& v : variants) {
        std::vector<std::string> fields = Record(v.symbol, v.number);
        // The same line composed from views (here not side by side in one line), alone and in pairs.
        std::string_view views[kFieldCount];
        std::string_view previousViews[kFieldCount];
        for (int i = 0; i < kFieldCount; ++i) views[i] = fields[i], previousViews[i] = previousFields[i];
        char out[2][kRecordCharge];
        std::size_t lengths[2];
        ComposeOutputLinePair(previousViews, views, m_digest, out[0], out[1], lengths);
        const std::string composed(out[1], ComposeOutputLine(views, m_digest, out[1]));
        EXPECT_EQ(std::string(out[1], lengths[1]), composed);
        EXPECT_EQ(std::string(out[0], lengths[0]), previousLine.empty() ? std::string(out[0], lengths[0]) : previousLine);

        previousFields = fields;
        previousLine = BuildOutputLine(fields, m_digest);
        EXPECT_EQ(previousLine, composed);
        const std::string reference = Reference(v.digested);
        EXPECT_EQ(reference.substr(0, 40), fields[3]) << v.symbol << "|" << v.number;
        EXPECT_EQ(reference.substr(40), fields[4]) << v.symbol << "|" << v.number;
    }
}

TEST_F(BuildOutputLineTest, RefusingDigestGivesZeros) {
    const CReferenceDigest refusing("short key", kReferenceOutputLength);
    std::vector<std::string> fields = Record("AB", "123");
    BuildOutputLine(fields, refusing);
    EXPECT_EQ(std::string(40, '0'), fields[3]);
    EXPECT_EQ(std::string(40, '0'), fields[4]);
}

TEST_F(BuildOutputLineTest, MaximalRecordIs173Bytes) {
    std::vector<std::string> fields;
    for (const FieldInfo& field : kFieldTable)
        fields.emplace_back(static_cast<std::size_t>(field.maxLength), '9');
    EXPECT_EQ(173u, BuildOutputLine(fields, m_digest).size());
}

TEST_F(BuildOutputLineTest, RefusesRecordOfWrongSize) {
    std::vector<std::string> fields = Record("AB", "123");
    fields.pop_back();
    EXPECT_THROW(BuildOutputLine(fields, m_digest), std::invalid_argument);
}

}  // namespace
