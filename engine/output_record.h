// A checked record turned into its output line: the two identifying fields replaced by the halves of
// the reference number, the two amounts zero-padded, the remarks code set. The conversion composes
// every line here; the command line's ref and the self-test take their reference texts from the same
// lines, so that they run every instruction a conversion runs to make one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/digest.h"
#include "engine/record_layout.h"

// The characters of the reference in each of the two reference fields (its 64 hex digits and 16 "0").
constexpr std::size_t kReferenceFieldLength = 40;

// The output line of a checked record, CR LF included, written to out, which has room for
// kRecordCharge bytes (the longest line there can be), from fields that are views: nothing is
// allocated. Returns the line's length.
std::size_t ComposeOutputLine(const std::string_view fields[kFieldCount], const CReferenceDigest& digest, char* out);
// Two records at once, as two calls of ComposeOutputLine give them; their reference numbers are
// computed side by side. lengths receives the two lines' lengths.
void ComposeOutputLinePair(const std::string_view fields0[kFieldCount], const std::string_view fields1[kFieldCount],
                           const CReferenceDigest& digest, char* out0, char* out1, std::size_t lengths[2]);
// The length of the line ComposeOutputLine makes of a checked record, known from the fields'
// lengths alone: what the record's output takes is settled before it is composed.
std::size_t OutputLineLength(const std::string_view fields[kFieldCount]);

// The same line of a record held as 16 strings; throws std::invalid_argument for any other count of
// fields (a short record written unconverted would put the identifying fields into the output).
std::string BuildOutputLine(const std::vector<std::string>& fields, const CReferenceDigest& digest);

// A record's card symbol and number (被保険者証記号, 被保険者証番号), each at most 40 bytes.
struct CardIdentity {
    std::string_view symbol;
    std::string_view number;
};
// The reference text of each identity (its two output fields one after the other, 80 characters),
// taken from output lines composed as a conversion composes them: records of the identities (their
// other fields empty), two at a time by ComposeOutputLinePair, the last of an odd count alone by
// ComposeOutputLine.
std::vector<std::string> ReferenceTexts(const std::vector<CardIdentity>& identities, const CReferenceDigest& digest);
