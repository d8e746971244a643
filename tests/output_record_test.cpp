// Whole output lines composed from checked records, alone and in pairs, and the reference texts taken
// from them.
#include "engine/output_record.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/record_layout.h"

namespace {

std::vector<std::string> Record(const std::string& symbol, const std::string& number, const std::string& points = "123",
                                const std::string& meal = "") {
    return {"1234567890", "XX", "06123456", symbol, number, "19700101", "1",  "202401",
            "202312",     "2",  "",         "15",   points, "3",        meal, "1234"};
}

// Views of the fields, here not side by side in one line as the record reader's are.
struct Views {
    explicit Views(const std::vector<std::string>& fields) {
        for (int i = 0; i < kFieldCount; ++i) views[i] = fields[static_cast<std::size_t>(i)];
    }
    std::string_view views[kFieldCount];
};

class OutputLineTest : public testing::Test {
protected:
    const CReferenceDigest m_digest{kReferenceKey, kReferenceOutputLength};

    // The reference text of an identity as the digest sees it: trimmed, joined and widened.
    std::string Reference(const std::string& digested) const {
        char hex[64];
        return std::string(hex, m_digest.HexDigest(digested.data(), digested.size(), hex)) + std::string(16, '0');
    }
    std::string Composed(const std::vector<std::string>& fields, const CReferenceDigest& digest) const {
        char out[kRecordCharge];
        const Views record(fields);
        const std::size_t length = ComposeOutputLine(record.views, digest, out);
        EXPECT_EQ(OutputLineLength(record.views), length);
        return std::string(out, length);
    }
    std::string Composed(const std::vector<std::string>& fields) const { return Composed(fields, m_digest); }
};

TEST_F(OutputLineTest, WholeLine) {
    const std::vector<std::string> fields = Record("　AB ", "123");
    const std::string reference = Reference("ＡＢ１２３");
    const std::string expected = "1234567890,a2,06123456," + reference.substr(0, 40) + "," + reference.substr(40) +
                                 ",19700101,1,202401,202312,2,,15,000000123,3,00000000,1234\r\n";
    EXPECT_EQ(expected, Composed(fields));
    EXPECT_EQ(expected, BuildOutputLine(fields, m_digest));
}

TEST_F(OutputLineTest, AmountsZeroPaddedAfterTheSign) {
    const struct {
        std::string points, meal;              // fields 12 and 14 as read
        std::string paddedPoints, paddedMeal;  // as written: 9 and 8 characters at least
    } cases[] = {
        {"123", "", "000000123", "00000000"},
        {"-12", "-1", "-00000012", "-0000001"},
        {"123456789", "12345678", "123456789", "12345678"},
        {"12-", "-", "00000012-", "-0000000"},
    };
    for (const auto& c : cases) {
        const std::string line = Composed(Record("AB", "1", c.points, c.meal));
        const std::string tail = "," + c.paddedPoints + ",3," + c.paddedMeal + ",1234\r\n";
        ASSERT_GE(line.size(), tail.size());
        EXPECT_EQ(tail, line.substr(line.size() - tail.size())) << c.points << "|" << c.meal;
    }
}

TEST_F(OutputLineTest, SameIdentityWrittenDifferently) {
    struct Variant {
        std::string symbol, number, digested;
    };
    const Variant variants[] = {
        {"　AB ", "123", "ＡＢ１２３"},
        {"ＡＢ", "123", "ＡＢ１２３"},
        {"AB", "１２３", "ＡＢ１２３"},
        {"", "  AB123  ", "ＡＢ１２３"},
        {" \t\r\n\v\fX\f\n", "", "Ｘ"},  // every white space character trimmed
        {"A　B", "1", "Ａ　Ｂ１"},       // an inner full-width space stays
        {"A B ", "1", "Ａ　Ｂ１"},       // and an inner space widens to one
        {"　 　", "", ""},
        // 0x82 0x81 is one character; the 0x81 0x40 that a byte search would find straddles two.
        {"\x82\x81\x40", "", "ａ＠"},
        {"", "", ""},
    };
    std::vector<CardIdentity> identities;
    std::vector<std::string> references;
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.symbol + "|" + v.number);
        const std::string reference = Reference(v.digested);
        const std::vector<std::string> fields = Record(v.symbol, v.number);
        const std::string alone = Composed(fields);
        EXPECT_EQ(reference.substr(0, 40) + "," + reference.substr(40), alone.substr(23, 81));

        // In a pair, each line as it is alone.
        const std::vector<std::string> other = Record("Z", "9");
        const Views record(fields), otherRecord(other);
        char out[2][kRecordCharge];
        std::size_t lengths[2];
        ComposeOutputLinePair(record.views, otherRecord.views, m_digest, out[0], out[1], lengths);
        EXPECT_EQ(alone, std::string(out[0], lengths[0]));
        EXPECT_EQ(Composed(other), std::string(out[1], lengths[1]));

        identities.push_back({v.symbol, v.number});
        references.push_back(reference);
    }
    // Nine of them at once: four pairs, and the last alone.
    identities.pop_back();
    references.pop_back();
    EXPECT_EQ(references, ReferenceTexts(identities, m_digest));
}

TEST_F(OutputLineTest, RefusingDigestGivesZeros) {
    const CReferenceDigest refusing("short key", kReferenceOutputLength);
    EXPECT_EQ(std::string(40, '0') + "," + std::string(40, '0'),
              Composed(Record("AB", "123"), refusing).substr(23, 81));
}

TEST_F(OutputLineTest, MaximalRecordIs173Bytes) {
    std::vector<std::string> fields;
    for (const FieldInfo& field : kFieldTable) fields.emplace_back(static_cast<std::size_t>(field.maxLength), '9');
    EXPECT_EQ(173u, Composed(fields).size());
}

TEST_F(OutputLineTest, RefusesRecordOfWrongSize) {
    std::vector<std::string> fields = Record("AB", "123");
    fields.pop_back();
    EXPECT_THROW(BuildOutputLine(fields, m_digest), std::invalid_argument);
}

}  // namespace
