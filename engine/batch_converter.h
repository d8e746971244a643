// Output lines of records, checked and composed by the calling thread and one worker thread
// together. The caller fills a CRecordBatch with records as read (copies of their lines), hands it
// over with Start, goes on reading the next batch, then Finish checks and composes what the worker
// has not taken and waits for the rest. The first faulty record of a batch is known afterwards;
// records keep their order. One caller thread; the worker is the converter's own and ends with it.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/digest.h"
#include "engine/record_layout.h"

// Records per batch: large enough that handing over costs nothing, small enough that two batches
// and their lines stay well below a megabyte each.
constexpr std::size_t kBatchRecords = 1024;

// Records a thread takes from a batch at a time; their output lines lie side by side.
constexpr std::size_t kRecordsPerTake = 64;

class CRecordBatch {
public:
    void Clear();
    // Adds a record as read: its line (without its line end) and the line's number in the file.
    void Add(std::string_view line, std::int64_t lineNumber);
    std::size_t Size() const { return m_records.size(); }
    bool Full() const { return m_records.size() >= kBatchRecords; }
    std::int64_t LineNumber(std::size_t i) const { return m_records[i].lineNumber; }

    // Once the batch is finished: the first faulty record (Size() when none) and what is wrong.
    std::size_t FaultIndex() const { return m_faultIndex; }
    bool Faulty() const { return m_faultIndex < m_records.size(); }
    const RecordCheck& Fault() const { return m_fault; }
    // Checks the records before end that this has not checked yet, here and without composing
    // (the worker may be composing the batch meanwhile): true when they are all sound. For the
    // caller, which must know before it goes on; the composition checks every record anyway.
    bool CheckUpTo(std::size_t end);

    // Once the batch is finished and has no faulty record: how many records from first on have
    // their output lines side by side, and those lines (CR LF included) for count up to that.
    std::size_t Adjacent(std::size_t first) const {
        return std::min(m_records.size(), (first / kRecordsPerTake + 1) * kRecordsPerTake) - first;
    }
    std::string_view Lines(std::size_t first, std::size_t count) const {
        const Record& last = m_records[first + count - 1];
        return std::string_view(m_out.data() + m_records[first].outStart,
                                last.outStart + last.outLength - m_records[first].outStart);
    }

private:
    friend class CBatchConverter;
    struct Record {
        std::uint32_t start;  // of its line in m_text
        std::uint16_t length;
        std::uint16_t outLength;
        std::uint32_t outStart;  // of its output line in m_out
        std::int64_t lineNumber;
    };
    std::string_view Text(const Record& record) const {
        return std::string_view(m_text.data() + record.start, record.length);
    }
    // Checks and composes records first to last - 1, which are one take; stops at a faulty one.
    void Compose(std::size_t first, std::size_t last, const CReferenceDigest& digest);
    void NoteFault(std::size_t index, const RecordCheck& check);
    // Makes room for the output lines of the records added so far.
    void MakeRoom();

    std::string m_text;
    std::vector<Record> m_records;
    std::vector<char> m_out;             // each take's output lines from the take's first record * kRecordCharge
    std::atomic<std::size_t> m_next{0};  // the first record no thread has taken yet
    std::mutex m_faultMutex;
    std::size_t m_faultIndex = 0;
    RecordCheck m_fault;
    std::size_t m_soundUpTo = 0;  // records CheckUpTo found sound
};

class CBatchConverter {
public:
    explicit CBatchConverter(const CReferenceDigest& digest);
    ~CBatchConverter();
    CBatchConverter(const CBatchConverter&) = delete;
    CBatchConverter& operator=(const CBatchConverter&) = delete;

    // Offers the batch to the worker. The caller leaves it alone until Finish.
    void Start(CRecordBatch& batch);
    // Checks and composes the records nobody has taken, waits for the worker's, and rethrows what
    // the worker may have thrown. Afterwards the batch is the caller's again. Finishing a finished
    // batch again does nothing.
    void Finish(CRecordBatch& batch);

private:
    void Work();
    void ComposeAll(CRecordBatch& batch);

    const CReferenceDigest& m_digest;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    CRecordBatch* m_pending = nullptr;  // offered and not yet taken by the worker
    bool m_working = false;             // the worker is composing records of a batch
    bool m_stop = false;
    std::exception_ptr m_failure;
    std::thread m_worker;  // last: started when everything above exists
};
