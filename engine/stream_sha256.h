// The SHA-256 of a file as it is written, hashed on a thread of its own: the writer hands over each
// piece it has written and goes on with the next while the last one is hashed, so the digest costs
// the writer little time and the file is never read back. One writer thread; the hashing thread is
// the object's own and ends with it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/sha256.h"

class CStreamSha256 {
public:
    CStreamSha256();
    ~CStreamSha256();
    CStreamSha256(const CStreamSha256&) = delete;
    CStreamSha256& operator=(const CStreamSha256&) = delete;

    // Starts the digest of a new stream (what was handed over before is dropped).
    void Restart();
    // Hands over the bytes of piece, which have been written, after those handed over before:
    // piece's buffer becomes the hashing thread's, and piece gets an empty one back (one whose
    // capacity a writer can fill again). Waits only while kMaxPending pieces are still unhashed.
    void Add(std::string& piece);
    // The digest of everything handed over since the last Restart.
    Sha256Digest Finish();

private:
    // Pieces the writer may be ahead of the hashing: the hashing catches up whenever a processor
    // is free, instead of holding up the writer whenever it is busy.
    static constexpr std::size_t kMaxPending = 8;

    void Work();
    void WaitIdle(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_pending;  // handed over, not yet hashed (the front one is being hashed)
    std::vector<std::string> m_spare;   // buffers of hashed pieces, to be given back to the writer
    bool m_stop = false;
    Sha256Context m_context;
    std::thread m_thread;  // last: started when everything above exists
};
