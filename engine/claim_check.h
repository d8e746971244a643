// The record checks of one claim file, without converting it: every faulty record by the line it
// starts on, for the check command (verify, beside it, proves a run's outputs). Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/record_layout.h"
#include "support/clock.h"

struct ClaimFileCheck {
    enum class Result {
        Checked,     // every record read and checked (faulty counts the faulty ones)
        NoData,      // no record: an empty file, or blank and comment lines alone
        Unreadable,  // the file could not be opened or read: reason says why
    };
    Result result = Result::Checked;
    std::string reason;
    bool opened = false;       // Unreadable: the open succeeded and a read failed (reason: the whole text)
    bool empty = false;        // NoData: the file has no byte at all
    std::int64_t records = 0;  // the lines read as records (a line longer than a chunk is one)
    std::int64_t faulty = 0;
};

// Reads path and checks every record; faultyRecord is told each faulty one. A line longer than a
// chunk is one record, judged by its first piece as the conversion judges it (a field's length is
// then the part of it within that piece). A file held by another program is not waited for: it is
// Unreadable, and the check is run again later.
ClaimFileCheck CheckClaimFile(const std::string& path, IClock& clock,
                              const std::function<void(std::int64_t line, const RecordCheck& check)>& faultyRecord);
