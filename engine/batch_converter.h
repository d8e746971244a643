// Output lines of checked records, composed by the calling thread and one worker thread together.
// The caller fills a CRecordBatch with records (copies of their text and the places of their
// fields), hands it over with Start, goes on reading the next batch, then Finish composes what the
// worker has not taken and waits for the rest. Records keep their order. One caller thread; the
// worker is the converter's own and ends with it.
#pragma once

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

class CRecordBatch {
public:
    CRecordBatch();
    void Clear();
    // Adds a checked record: its line and its fields (views into line). Its output line's place
    // in the batch's output follows from the fields' lengths.
    void Add(std::string_view line, const std::string_view fields[kFieldCount]);
    std::size_t Size() const { return m_records.size(); }
    bool Full() const { return m_records.size() >= kBatchRecords; }
    // Once the batch is finished: the output lines of records first to first + count - 1, one
    // after the other (CR LF included), as they go into the output file.
    std::string_view Lines(std::size_t first, std::size_t count) const {
        const std::size_t start = first < m_records.size() ? m_records[first].outStart : m_outSize;
        const std::size_t end = first + count < m_records.size() ? m_records[first + count].outStart : m_outSize;
        return std::string_view(m_out.data() + start, end - start);
    }

private:
    friend class CBatchConverter;
    struct Record {
        std::uint32_t start;     // of its line in m_text
        std::uint32_t outStart;  // of its output line in m_out
        std::uint16_t outLength;
        std::uint16_t fieldStart[kFieldCount];
        std::uint16_t fieldLength[kFieldCount];
    };
    void Compose(std::size_t first, std::size_t last, const CReferenceDigest& digest);
    // Makes room for the output lines of the records added so far.
    void MakeRoom();

    std::string m_text;
    std::vector<Record> m_records;
    std::vector<char> m_out;  // the output lines, each at its record's outStart
    std::size_t m_outSize = 0;
    std::atomic<std::size_t> m_next{0};  // the first record no thread has taken yet
};

class CBatchConverter {
public:
    explicit CBatchConverter(const CReferenceDigest& digest);
    ~CBatchConverter();
    CBatchConverter(const CBatchConverter&) = delete;
    CBatchConverter& operator=(const CBatchConverter&) = delete;

    // Offers the batch to the worker. The caller leaves it alone until Finish.
    void Start(CRecordBatch& batch);
    // Composes the records nobody has taken, waits for the worker's, and rethrows what the worker
    // may have thrown. Afterwards the batch is the caller's again.
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
