// The record checks of one claim file for the check command. See claim_check.h.
#include "engine/claim_check.h"

#include <string_view>

#include "base/file_error.h"
#include "engine/record_file.h"
#include "platform/platform.h"

ClaimFileCheck CheckClaimFile(const std::string& path, IClock& clock,
                              const std::function<void(std::int64_t line, const RecordCheck& check)>& faultyRecord) {
    ClaimFileCheck outcome;
    try {
        CRecordReader file(clock);
        if (!file.OpenWithRetry(path, platform::File::modeRead, [] { return false; })) {
            outcome.result = ClaimFileCheck::Result::Unreadable;
            outcome.reason = platform::ErrorText(file.OpenError());
            return outcome;
        }
        outcome.opened = true;
        if (file.GetLength() == 0) {
            outcome.result = ClaimFileCheck::Result::NoData;
            outcome.empty = true;
            return outcome;
        }
        std::int64_t lastLine = 0;
        std::string_view record;
        std::string_view fields[kFieldCount];
        while (file.ReadLine(record) != 0) {
            // The later pieces of a line longer than a chunk are no records of their own: its first
            // piece (1,024 bytes, more than any sound record) decides it, as it ends the conversion.
            if (file.LineNumber() == lastLine) continue;
            lastLine = file.LineNumber();
            ++outcome.records;
            const RecordCheck check = CheckRecord(record, fields);
            if (check.status == Normal) continue;
            ++outcome.faulty;
            if (faultyRecord) faultyRecord(lastLine, check);
        }
    } catch (const FileError& error) {
        outcome.result = ClaimFileCheck::Result::Unreadable;
        outcome.reason = error.what();
        return outcome;
    }
    if (outcome.records == 0) outcome.result = ClaimFileCheck::Result::NoData;
    return outcome;
}
