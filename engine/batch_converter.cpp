// Batches of records checked and composed on two threads. See batch_converter.h.
#include "engine/batch_converter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "engine/output_record.h"

void CRecordBatch::MakeRoom() {
    // Room grows with the records actually there: a small file costs little memory.
    // (With room for one more line: a line composed longer than foreseen stays inside.)
    const std::size_t room = (m_records.size() + 1) * kRecordCharge;
    if (m_out.size() < room) m_out.resize(room);
}

void CRecordBatch::Clear() {
    m_text.clear();
    m_records.clear();
    m_next = 0;
    m_faultIndex = 0;
    m_soundUpTo = 0;
}

void CRecordBatch::Add(std::string_view line, std::int64_t lineNumber) {
    // Lines come from the reader, which never hands out more than a chunk (1,024 bytes).
    m_records.push_back(
        {static_cast<std::uint32_t>(m_text.size()), static_cast<std::uint16_t>(line.size()), 0, 0, lineNumber});
    m_text += line;
    m_faultIndex = m_records.size();
}

void CRecordBatch::NoteFault(std::size_t index, const RecordCheck& check) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    if (index < m_faultIndex) {
        m_faultIndex = index;
        m_fault = check;
    }
}

bool CRecordBatch::CheckUpTo(std::size_t end) {
    std::string_view fields[kFieldCount];
    for (; m_soundUpTo < end; ++m_soundUpTo) {
        if (CheckRecord(Text(m_records[m_soundUpTo]), fields).status != Normal) return false;
    }
    return true;
}

void CRecordBatch::Compose(std::size_t first, std::size_t last, const CReferenceDigest& digest) {
    // The take's lines one after the other; a line's length follows from its fields' lengths.
    std::size_t at = first * kRecordCharge;
    const auto place = [this, &at](std::size_t i, const std::string_view* fields) {
        m_records[i].outStart = static_cast<std::uint32_t>(at);
        m_records[i].outLength = static_cast<std::uint16_t>(OutputLineLength(fields));
        at += m_records[i].outLength;
        return &m_out[m_records[i].outStart];
    };
    // A line of another length than foreseen would spoil its neighbour.
    const auto placed = [this](std::size_t i, std::size_t length) {
        if (length != m_records[i].outLength) throw std::logic_error("an output line of unexpected length");
    };
    // Two records at a time, whose reference numbers are computed side by side.
    std::string_view fields[2][kFieldCount];
    std::size_t held = 0;  // records checked and waiting to be composed (0 or 1)
    for (std::size_t i = first; i < last; ++i) {
        const RecordCheck check = CheckRecord(Text(m_records[i]), fields[held]);
        if (check.status != Normal) {
            NoteFault(i, check);
            return;  // nothing after a faulty record is wanted
        }
        if (held == 0) {
            held = 1;
            continue;
        }
        char* out0 = place(i - 1, fields[0]);
        char* out1 = place(i, fields[1]);
        std::size_t lengths[2];
        ComposeOutputLinePair(fields[0], fields[1], digest, out0, out1, lengths);
        placed(i - 1, lengths[0]);
        placed(i, lengths[1]);
        held = 0;
    }
    if (held == 1) placed(last - 1, ComposeOutputLine(fields[0], digest, place(last - 1, fields[0])));
}

CBatchConverter::CBatchConverter(const CReferenceDigest& digest) : m_digest(digest) {
    // A second thread only pays where there is a second processor to run it.
    if (std::thread::hardware_concurrency() > 1) m_worker = std::thread([this] { Work(); });
}

CBatchConverter::~CBatchConverter() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable()) m_worker.join();
}

void CBatchConverter::ComposeAll(CRecordBatch& batch) {
    const std::size_t size = batch.Size();
    for (;;) {
        const std::size_t first = batch.m_next.fetch_add(kRecordsPerTake);
        if (first >= size) return;
        batch.Compose(first, std::min(size, first + kRecordsPerTake), m_digest);
    }
}

void CBatchConverter::Start(CRecordBatch& batch) {
    batch.MakeRoom();
    if (!m_worker.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = &batch;
    }
    m_wake.notify_all();
}

void CBatchConverter::Finish(CRecordBatch& batch) {
    batch.MakeRoom();  // (already made by Start, unless a caller skipped it)
    ComposeAll(batch);
    std::unique_lock<std::mutex> lock(m_mutex);
    // Once the batch is no longer on offer and the worker is idle, nobody else touches it.
    if (m_pending == &batch) m_pending = nullptr;
    m_wake.wait(lock, [this] { return !m_working; });
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
}

void CBatchConverter::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_pending != nullptr; });
        if (m_stop) return;
        CRecordBatch* batch = std::exchange(m_pending, nullptr);
        m_working = true;
        lock.unlock();
        try {
            ComposeAll(*batch);
        } catch (...) {
            lock.lock();
            m_failure = std::current_exception();
            lock.unlock();
        }
        lock.lock();
        m_working = false;
        m_wake.notify_all();
    }
}
