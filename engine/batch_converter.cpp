#include "engine/batch_converter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "engine/output_record.h"

namespace {
// Records taken at a time from a batch by either thread.
constexpr std::size_t kRecordsPerTake = 64;
}  // namespace

CRecordBatch::CRecordBatch() = default;

void CRecordBatch::MakeRoom() {
    // Room grows with the records actually there: a small file costs little memory.
    // (With room for one more line: a line composed longer than foreseen stays inside.)
    if (m_out.size() < m_outSize + kRecordCharge) m_out.resize(m_outSize + kRecordCharge);
}

void CRecordBatch::Clear() {
    m_text.clear();
    m_records.clear();
    m_outSize = 0;
    m_next = 0;
}

void CRecordBatch::Add(std::string_view line, const std::string_view fields[kFieldCount]) {
    Record record;
    record.start = static_cast<std::uint32_t>(m_text.size());
    for (int position = 0; position < kFieldCount; ++position) {
        // Lines come from the reader, which never hands out more than a chunk (1,024 bytes).
        record.fieldStart[position] = static_cast<std::uint16_t>(fields[position].data() - line.data());
        record.fieldLength[position] = static_cast<std::uint16_t>(fields[position].size());
    }
    record.outStart = static_cast<std::uint32_t>(m_outSize);
    record.outLength = static_cast<std::uint16_t>(OutputLineLength(fields));
    m_outSize += record.outLength;
    m_text += line;
    m_records.push_back(record);
}

void CRecordBatch::Compose(std::size_t first, std::size_t last, const CReferenceDigest& digest) {
    std::string_view fields[2][kFieldCount];
    const auto load = [this](std::size_t i, std::string_view* into) {
        const Record& record = m_records[i];
        const char* line = m_text.data() + record.start;
        for (int position = 0; position < kFieldCount; ++position) {
            into[position] = std::string_view(line + record.fieldStart[position], record.fieldLength[position]);
        }
    };
    // Each line goes to its place in the output; one of another length would spoil its neighbours.
    const auto placed = [this](std::size_t i, std::size_t length) {
        if (length != m_records[i].outLength) throw std::logic_error("an output line of unexpected length");
    };
    // Two records at a time, whose reference numbers are computed side by side.
    std::size_t i = first;
    for (; i + 1 < last; i += 2) {
        load(i, fields[0]);
        load(i + 1, fields[1]);
        std::size_t lengths[2];
        ComposeOutputLinePair(fields[0], fields[1], digest, &m_out[m_records[i].outStart],
                              &m_out[m_records[i + 1].outStart], lengths);
        placed(i, lengths[0]);
        placed(i + 1, lengths[1]);
    }
    if (i < last) {
        load(i, fields[0]);
        placed(i, ComposeOutputLine(fields[0], digest, &m_out[m_records[i].outStart]));
    }
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
