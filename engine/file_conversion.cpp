// The steps of converting one input file (read, finish, reject, write, split, publish). See file_conversion.h.
#include "engine/file_conversion.h"

#include <algorithm>
#include <utility>

#include "base/file_error.h"
#include "engine/messages.h"
#include "engine/output_files.h"
#include "engine/output_record.h"
#include "engine/run_host.h"

const char kOutputFileWord[] = "報告データファイル";
const char kCreateError[] = "作成エラー";
const char kWriteError[] = "書込みエラー";

std::string FailureText(const char* what, const std::string& path, const char* failure, const std::string& reason) {
    std::string text = std::string(what) + "[" + path + "] " + failure;
    if (!reason.empty()) text += " (" + reason + ")";
    return text;
}

FileOutcome FileOutcome::Ended(FileStatus status) {
    FileOutcome outcome;
    outcome.status = status;
    return outcome;
}

FileOutcome FileOutcome::Rejected(const RecordCheck& check, std::int64_t recordLine) {
    FileOutcome outcome = Ended(check.status);
    outcome.position = check.position;
    outcome.recordLine = recordLine;
    outcome.fault = RecordFaultText(check);
    return outcome;
}

FileOutcome FileOutcome::Failure(int line, std::string detail, int messageId) {
    FileOutcome outcome = Ended(Failed);
    outcome.line = line;
    outcome.detail = std::move(detail);
    outcome.messageId = messageId;
    return outcome;
}

FileOutcome FileOutcome::ReadError(std::exception_ptr thrown) {
    FileOutcome outcome;
    outcome.thrown = std::move(thrown);
    return outcome;
}

CFileConversion::CFileConversion(const Run& run, CRecordReader& input, CRecordWriter& output, COutputFiles& outputs,
                                 std::uint64_t inputLength, FileResult& result)
    : m_run(run),
      m_input(input),
      m_output(output),
      m_outputs(outputs),
      m_result(result),
      m_digest(kReferenceKey, kReferenceOutputLength),
      m_splitLimit(run.host.SplitLimit()),
      m_progressStep(inputLength / 100),
      m_converter(m_digest) {}

FileOutcome CFileConversion::CreateFailure(int line, std::int64_t number, const std::string& why) {
    if (m_aborted) return FileOutcome::Ended(Aborted);
    return FileOutcome::Failure(line, FailureText(kOutputFileWord, m_outputs.FinalPath(number), kCreateError, why),
                                kMsgCreateFailed);
}

FileOutcome CFileConversion::WriteFailure(int line) {
    return FileOutcome::Failure(
        line,
        FailureText(kOutputFileWord, m_outputs.FinalPath(m_result.file_count), kWriteError, m_output.FailureReason()),
        kMsgWriteFailed);
}

std::string CFileConversion::Create(std::int64_t number) {
    // Every output is a new file of its own, named in the journal before it exists: a name that is
    // taken (by a file, a link, anything) is never written through, and never ours to delete.
    try {
        m_outputs.Claim(number);
    } catch (const FileError& error) {
        return error.Reason();  // a journal that cannot be written is a reason not to create
    }
    if (!m_run.open(m_output, m_outputs.WritePath(number), platform::File::modeCreate | platform::File::modeWrite,
                    m_aborted)) {
        try {
            m_outputs.Disown(number);
        } catch (const FileError&) {
            // Given up in memory all the same: this run never deletes what it did not make.
        }
        return m_output.FailureReason().empty() ? std::string("-") : m_output.FailureReason();
    }
    m_outputs.Created(number);
    return std::string();
}

FileOutcome CFileConversion::Convert() {
    if (const std::string why = Create(1); !why.empty()) return CreateFailure(__LINE__, 1, why);
    m_result.file_count = 1;
    m_run.host.SetProgress(0);

    // Two batches in turn: while the worker checks and composes the records of one, this thread
    // reads the next; it then helps finish the first, hands the next to the worker and writes the
    // first meanwhile. A batch's records are checked when it is composed, so the first faulty
    // record of a file is known once its batch is finished, and everything read after it is then
    // dropped: the file ends as if reading had stopped there, with the same counts and line.
    int current = 0;
    FileOutcome read = ReadBatch(current, -1);
    if (!read.Goes()) return FinishLast(current, std::move(read));
    m_converter.Start(m_batches[current]);
    for (;;) {
        const int next = 1 - current;
        const bool more = m_batches[current].Full();
        FileOutcome nextRead = more ? ReadBatch(next, current) : FileOutcome::Converted();
        m_converter.Finish(m_batches[current]);
        if (m_batches[current].Faulty()) return Reject(current);
        if (!nextRead.Goes()) return FinishLast(next, std::move(nextRead));
        if (more) m_converter.Start(m_batches[next]);
        if (FileOutcome written = Write(m_batches[current]); !written.Goes()) return written;
        if (!more) break;
        current = next;
    }
    // A file of blank and comment lines alone holds no data, as an empty file does.
    if (m_result.read_count == 0) return FileOutcome::Ended(NoData);
    return Publish();
}

bool CFileConversion::SoundSoFar(int b, int before) {
    return (before < 0 || m_batches[before].CheckUpTo(m_batches[before].Size())) &&
           m_batches[b].CheckUpTo(m_batches[b].Size());
}

FileOutcome CFileConversion::ReadBatch(int b, int before) {
    // Reads records into batch b until it is full; Converted also at the end of the input, which a
    // batch that is not full then tells. Whatever the user may see or answer (a step of the
    // progress bar, the abort question between records) waits until the records read so far (of
    // batch before, -1 for none, and of b) are known to be sound, as it did when each record was
    // checked as it was read: reading ends at a faulty one instead, and the checks report it.
    CRecordBatch& batch = m_batches[b];
    batch.Clear();
    m_readBefore[b] = static_cast<std::uint64_t>(m_result.read_count);
    while (!batch.Full()) {
        if (m_run.abortRequested()) {
            if (!SoundSoFar(b, before)) return FileOutcome::Converted();
            if (m_run.confirmAbort()) return FileOutcome::Ended(Aborted);
        }
        std::string_view record;
        std::int64_t lineBytes = 0;
        try {
            lineBytes = m_input.ReadLine(record);
        } catch (...) {
            return FileOutcome::ReadError(std::current_exception());
        }
        if (lineBytes == 0) break;
        ++m_result.read_count;
        batch.Add(record, m_input.LineNumber());
        m_sinceStep += static_cast<std::uint64_t>(lineBytes);
        if (m_sinceStep >= m_progressStep) {
            if (!SoundSoFar(b, before)) return FileOutcome::Converted();
            m_run.host.RecordsRead(m_result.read_count);
            m_run.host.SetProgress(m_run.host.GetProgress() + 1);
            m_sinceStep = 0;
        }
    }
    return FileOutcome::Converted();
}

FileOutcome CFileConversion::FinishLast(int b, FileOutcome end) {
    // Checks and composes what batch b holds (the last records read before an end other than a
    // full batch), for a faulty record among them; then the end itself.
    m_converter.Start(m_batches[b]);
    m_converter.Finish(m_batches[b]);
    if (m_batches[b].Faulty()) return Reject(b);
    if (end.thrown) std::rethrow_exception(end.thrown);
    return end;
}

FileOutcome CFileConversion::Reject(int b) {
    // The end of a file at the first faulty record of batch b, once b is finished.
    const std::size_t index = m_batches[b].FaultIndex();
    m_result.read_count = static_cast<std::int64_t>(m_readBefore[b] + index + 1);
    return FileOutcome::Rejected(m_batches[b].Fault(), m_batches[b].LineNumber(index));
}

FileOutcome CFileConversion::FinishFile() {
    if (!m_output.FlushBuffer()) return WriteFailure(__LINE__);
    if (m_output.Digesting()) m_outputs.Written(m_result.file_count, m_output.Digest());
    m_output.Close();
    return FileOutcome::Converted();
}

FileOutcome CFileConversion::StartNextFile() {
    if (FileOutcome finished = FinishFile(); !finished.Goes()) return finished;
    ++m_result.file_count;
    m_estimatedSize = 0;
    if (const std::string why = Create(m_result.file_count); !why.empty()) {
        return CreateFailure(__LINE__, m_result.file_count, why);
    }
    return FileOutcome::Converted();
}

FileOutcome CFileConversion::Write(const CRecordBatch& batch) {
    // The composed lines of batch in order, a new output file wherever the split rule says: every
    // record is charged its longest possible size, so no file outgrows the medium. The records
    // that go into one file are handed over in one piece.
    for (std::size_t i = 0; i < batch.Size();) {
        std::size_t count = batch.Size() - i;
        if (m_splitLimit != 0) {
            if (m_estimatedSize + kRecordCharge >= m_splitLimit) {
                if (FileOutcome started = StartNextFile(); !started.Goes()) return started;
            }
            // The records that still fit (a file takes one at least, however small the limit).
            const std::uint64_t fit = m_estimatedSize + kRecordCharge < m_splitLimit
                                          ? (m_splitLimit - 1 - m_estimatedSize) / kRecordCharge
                                          : 1;
            count = static_cast<std::size_t>(std::min<std::uint64_t>(count, fit));
        }
        count = std::min(count, batch.Adjacent(i));
        const std::size_t buffered = m_output.Buffered();
        if (!m_output.WriteBuffered(batch.Lines(i, count))) {
            // Counted as when each line was handed over alone: the lines before the one that
            // filled the buffer, whose write failed, went in.
            std::size_t bytes = buffered;
            for (std::size_t k = 0; k < count; ++k, ++m_result.written_count) {
                bytes += batch.Lines(i + k, 1).size();
                if (bytes >= kOutputBufferSize) break;
            }
            return WriteFailure(__LINE__);
        }
        m_result.written_count += static_cast<std::int64_t>(count);
        m_estimatedSize += count * kRecordCharge;
        i += count;
    }
    return FileOutcome::Converted();
}

FileOutcome CFileConversion::Publish() {
    // The last file is written out and made durable, then every file gets its final name.
    if (FileOutcome finished = FinishFile(); !finished.Goes()) return finished;
    std::string reason;
    const std::string uncommitted = m_outputs.Commit(&reason);
    if (!uncommitted.empty()) {
        return FileOutcome::Failure(__LINE__, FailureText(kOutputFileWord, uncommitted, kWriteError, reason),
                                    kMsgWriteFailed);
    }
    m_run.host.RecordsRead(m_result.read_count);
    m_run.host.SetProgress(100);
    return FileOutcome::Converted();
}
