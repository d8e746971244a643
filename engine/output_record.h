// A checked record turned into its output line: the two identifying fields replaced by the halves of
// the reference number, the two amounts zero-padded, the remarks code set.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/digest.h"
#include "engine/fullwidth.h"
#include "engine/record_layout.h"

// Full-width spaces become spaces (character by character), then leading and trailing white space
// (space, tab, CR, LF, VT, FF) is removed.
std::string TrimSpaces(const std::string& text);
// pad repeated up to width bytes, after a leading "-" if there is one, otherwise in front.
std::string ZeroPadLeft(const std::string& text, const std::string& pad, int width);
// pad appended up to width bytes.
std::string PadRight(const std::string& text, const std::string& pad, int width);
// Fields joined with ",", the last followed by "\r\n"; the empty text for no fields.
std::string JoinFields(const std::vector<std::string>& fields);

// The output line of a checked 16-field record, CR LF included. Changes fields 1, 3, 4, 12 and 14
// in place.
std::string BuildOutputLine(std::vector<std::string>& fields, const CReferenceDigest& digest);
// The same line written to out, which has room for kRecordCharge bytes (the longest line there
// can be), from fields that are views: nothing is allocated. fields must be a checked record.
// Returns the line's length.
std::size_t ComposeOutputLine(const std::string_view fields[kFieldCount], const CReferenceDigest& digest, char* out);
// The length of the line ComposeOutputLine makes of a checked record, known from the fields'
// lengths alone: what the record's output takes is settled before it is composed.
std::size_t OutputLineLength(const std::string_view fields[kFieldCount]);
// Two records at once, as two calls of ComposeOutputLine give them; their reference numbers are
// computed side by side. lengths receives the two lines' lengths.
void ComposeOutputLinePair(const std::string_view fields0[kFieldCount], const std::string_view fields1[kFieldCount],
                           const CReferenceDigest& digest, char* out0, char* out1, std::size_t lengths[2]);
