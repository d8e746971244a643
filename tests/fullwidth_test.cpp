// The full-width mapping against every row of the recorded table, and sequences whose result
// depends on what comes before or after a byte.
#include "engine/fullwidth.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string FromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

std::string ToHex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 0x0F];
    }
    return out;
}

struct Row {
    std::string kind, in_hex, out_hex;
};

std::vector<Row> LoadRows() {
    std::ifstream file(TEST_DATA_DIR "/fullwidth.tsv");
    std::vector<Row> rows;
    std::string line;
    std::getline(file, line);  // column names
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::istringstream columns(line);
        Row row;
        std::getline(columns, row.kind, '\t');
        std::getline(columns, row.in_hex, '\t');
        std::getline(columns, row.out_hex, '\t');
        rows.push_back(row);
    }
    return rows;
}

TEST(FullWidth, EveryTableRow) {
    const std::vector<Row> rows = LoadRows();
    // 196 single bytes, 60 lone lead bytes, 400 double-byte codes and 270 sound-mark sequences.
    ASSERT_EQ(926u, rows.size()) << "table not found or cut short: " TEST_DATA_DIR "/fullwidth.tsv";
    int failures = 0;
    for (const Row& row : rows) {
        const std::string got = ToHex(ToFullWidth(FromHex(row.in_hex)));
        if (got != row.out_hex && ++failures <= 20) {
            ADD_FAILURE() << row.kind << " " << row.in_hex << ": got " << got << ", want " << row.out_hex;
        }
    }
    EXPECT_EQ(0, failures);
}

TEST(FullWidth, SequencesThatDependOnTheirNeighbours) {
    const struct {
        const char* name;
        const char* in_hex;
        const char* out_hex;
    } cases[] = {
        {"empty", "", ""},
        {"mark_at_start", "DE41", "814A8260"},
        {"second_mark_does_not_compose", "B6DEDE", "834B814A"},
        {"mark_after_letter", "41DE", "8260814A"},
        {"mark_after_full_width_base_mid_text", "78834ADE", "8298834B"},
        {"full_width_mark_after_half_width_base", "41B6814A", "8260834B"},
        {"mark_after_question_mark_from_composition", "DCDEDE", "3F814A"},
        {"trail_byte_5C_is_not_a_backslash", "835C5C", "835C5C"},
        {"trail_byte_DE_is_not_a_mark", "B688DE", "834A88DE"},
        {"rewrite_inside_text", "418790", "826081E0"},
        {"lone_lead_after_text", "4181", "82608145"},
        // A lead byte without a valid trail byte: the lead byte as if it stood at the end, then the
        // next byte on its own.
        {"lead_then_space", "8120", "81458140"},
        {"lead_then_control", "817F41", "81457F8260"},
        {"lead_then_nul", "810041", "8145008260"},
        {"pairs_taken_left_to_right", "818140", "81818197"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out_hex, ToHex(ToFullWidth(FromHex(c.in_hex)))) << c.name;
}

}  // namespace
