// The conversion of one input file into its output files, step by step: read the next batch of
// records, finish the current one (checked and composed with the converter's worker), reject the
// file at its first faulty record, write the lines, split into a new output file where the medium
// is full, and publish the outputs under their final names. Made and run by CConversionRun for
// one file, on the run's worker thread; it ends with a FileOutcome, which the run reports.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "engine/batch_converter.h"
#include "engine/digest.h"
#include "engine/file_status.h"
#include "engine/record_file.h"
#include "engine/record_layout.h"

class COutputFiles;
class IRunHost;

// How the records of one file ended, made by one factory per kind of end.
struct FileOutcome {
    FileStatus status = Normal;
    // A faulty record (ColumnCountError, FieldLengthError): the faulty field, the record's line in
    // the file, and what is wrong, as RecordFaultText gives it.
    int position = 0;
    std::int64_t recordLine = 0;
    std::string fault;
    // Failed: the reporting source line, what failed (FailureText) and the message.
    int line = 0;
    std::string detail;
    int messageId = 0;
    // A read error, kept until the records read before it are checked.
    std::exception_ptr thrown;

    static FileOutcome Converted() { return FileOutcome{}; }
    static FileOutcome Ended(FileStatus status);  // Aborted, NoData
    static FileOutcome Rejected(const RecordCheck& check, std::int64_t recordLine);
    static FileOutcome Failure(int line, std::string detail, int messageId);
    static FileOutcome ReadError(std::exception_ptr thrown);
    bool Goes() const { return status == Normal && !thrown; }
};

// "報告データファイル[PATH] 書込みエラー (the system's words)": what a failure struck and why; the
// one form of every failure's detail in the log and on standard error.
std::string FailureText(const char* what, const std::string& path, const char* failure, const std::string& reason);
extern const char kOutputFileWord[];  // 報告データファイル
extern const char kCreateError[];     // 作成エラー
extern const char kWriteError[];      // 書込みエラー

class CFileConversion {
public:
    // What the conversion asks of its run: the driver, the abort handshake (true when an abort
    // was confirmed) and the open that tells the driver while it waits for a held file (and sets
    // its last argument when an abort confirmed meanwhile ended the wait).
    struct Run {
        IRunHost& host;
        std::function<bool()> abortRequested;
        std::function<bool()> confirmAbort;
        std::function<int(CRecordFile&, const std::string&, unsigned, bool& aborted)> open;
    };

    // input is open; output is closed; result is the caller's, zeroed.
    CFileConversion(const Run& run, CRecordReader& input, CRecordWriter& output, COutputFiles& outputs,
                    std::uint64_t inputLength, FileResult& result);
    CFileConversion(const CFileConversion&) = delete;
    CFileConversion& operator=(const CFileConversion&) = delete;

    // Converts the whole file. Read errors of the input throw FileError (after the records read
    // before them are checked: a faulty one among them rejects the file instead).
    FileOutcome Convert();

private:
    FileOutcome ReadBatch(int b, int before);
    bool SoundSoFar(int b, int before);
    FileOutcome FinishLast(int b, FileOutcome end);
    FileOutcome Reject(int b);
    FileOutcome Write(const CRecordBatch& batch);
    // Writes out, makes durable and closes the current output file (its digest to m_outputs).
    FileOutcome FinishFile();
    FileOutcome StartNextFile();
    FileOutcome Publish();
    // Creates output number under its temporary name: the empty text, or why it could not be.
    std::string Create(std::int64_t number);
    FileOutcome CreateFailure(int line, std::int64_t number, const std::string& why);
    FileOutcome WriteFailure(int line);

    const Run& m_run;
    CRecordReader& m_input;
    CRecordWriter& m_output;
    COutputFiles& m_outputs;
    FileResult& m_result;
    bool m_aborted = false;  // an abort confirmed while an open waited
    const CReferenceDigest m_digest;
    std::uint64_t m_estimatedSize = 0;  // charged to the current output file
    const std::uint64_t m_splitLimit;
    const std::uint64_t m_progressStep;
    std::uint64_t m_sinceStep = 0;
    // Two batches in turn (they outlive the converter, whose worker may hold one when an error
    // ends the conversion), and the records read before each batch's first.
    CRecordBatch m_batches[2];
    std::uint64_t m_readBefore[2] = {0, 0};
    CBatchConverter m_converter;
};
