#include "engine/stream_sha256.h"

#include <utility>

CStreamSha256::CStreamSha256() : m_thread([this] { Work(); }) { sha256_init(&m_context); }

CStreamSha256::~CStreamSha256() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void CStreamSha256::WaitIdle(std::unique_lock<std::mutex>& lock) {
    m_changed.wait(lock, [this] { return m_pending.empty(); });
}

void CStreamSha256::Restart() {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitIdle(lock);
    sha256_init(&m_context);
}

void CStreamSha256::Add(std::string& piece) {
    if (piece.empty()) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_pending.size() < kMaxPending; });
    m_pending.push_back(std::move(piece));
    piece.clear();
    if (!m_spare.empty()) {
        piece.swap(m_spare.back());
        m_spare.pop_back();
        piece.clear();
    }
    lock.unlock();
    m_changed.notify_all();
}

Sha256Digest CStreamSha256::Finish() {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitIdle(lock);
    Sha256Digest digest;
    sha256_final(&m_context, digest.data());
    sha256_init(&m_context);
    return digest;
}

void CStreamSha256::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_pending.empty() || m_stop; });
        if (m_stop) return;
        // The front piece stays in the queue, untouched by the writer, until it is hashed; the
        // context is the thread's alone meanwhile (Restart and Finish wait for an empty queue).
        const std::string& piece = m_pending.front();
        lock.unlock();
        sha256_update(&m_context, reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
        lock.lock();
        m_spare.push_back(std::move(m_pending.front()));
        m_pending.pop_front();
        m_changed.notify_all();
    }
}
