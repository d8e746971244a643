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
        if (!file.OpenWithRetry(path, CRecordFile::modeRead, [] { return false; })) {
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
        std::int64_t lastNamed = 0;
        std::string_view record;
        std::string_view fields[kFieldCount];
        while (file.ReadLine(record) != 0) {
            ++outcome.records;
            const RecordCheck check = CheckRecord(record, fields);
            // The rest of a line longer than a chunk belongs to a line already named.
            if (check.status == Normal || file.LineNumber() == lastNamed) continue;
            lastNamed = file.LineNumber();
            ++outcome.faulty;
            if (faultyRecord) faultyRecord(lastNamed, check);
        }
    } catch (const FileError& error) {
        outcome.result = ClaimFileCheck::Result::Unreadable;
        outcome.reason = error.what();
        return outcome;
    }
    if (outcome.records == 0) outcome.result = ClaimFileCheck::Result::NoData;
    return outcome;
}
