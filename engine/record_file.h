// Claim files read record by record (CRecordReader), output files written in large pieces (CRecordWriter),
// both opened by CRecordFile, which waits while another program holds the file. Used by one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/stream_sha256.h"
#include "platform/platform.h"
#include "support/clock.h"

constexpr std::size_t kReadChunkSize = 1024;
constexpr std::size_t kOutputBufferSize = 1000000;
constexpr int kOpenRetries = 100;
constexpr int kOpenRetrySeconds = 3;

class CRecordFile {
public:
    // Opens path with platform::File's flags; while another program holds it (a sharing or lock
    // violation, which can clear), tries again up to 100 times, about 3 seconds apart; any other
    // failure (missing, refused, not a regular file) is final at once. 1 when open, 0 when it failed (OpenError,
    // FailureReason). keepTrying, when given, is asked about ten times a second during the waits; when it answers false
    // the open is given up at once (0). waiting, when given, is told once when a wait begins.
    int OpenWithRetry(const std::string& path, unsigned flags, const std::function<bool()>& keepTrying = {},
                      const std::function<void()>& waiting = {});
    // The system's error code of the last failed open.
    int OpenError() const { return m_openError; }
    // The system's words for the last failure of an open, a write or a flush.
    const std::string& FailureReason() const { return m_failureReason; }
    void Close() noexcept { m_file.Close(); }
    std::uint64_t GetLength() { return m_file.GetLength(); }

protected:
    explicit CRecordFile(IClock& clock) : m_clock(clock) {}
    ~CRecordFile() = default;  // closes the file; what a writer has buffered is not written
    virtual void Opened() {}   // told after every successful open, before OpenWithRetry returns
    platform::File m_file;
    std::string m_failureReason;

private:
    IClock& m_clock;
    int m_openError = 0;
};

// Keeps the exact 1,024-byte chunk rules of the format (a chunk's partial last line is read again
// with the next chunk; a lone 0x1A at the end of a short chunk is dropped; a line longer than a
// chunk is handed out in 1,024-byte pieces), but serves the chunks from a large buffer of its own
// so that the system sees few, large reads and no seeks.
class CRecordReader : public CRecordFile {
public:
    explicit CRecordReader(IClock& clock = SystemClock()) : CRecordFile(clock) {}
    // Views the next record's text (no line end) in the reader's buffer until the next call, skipping
    // blank lines and lines starting with "#" (however long: a long comment line's pieces too). Returns
    // the bytes the line takes in the file (its length + 2 for CR LF, + 1 for a bare LF), or 0 at the end
    // of the input. Read errors throw FileError.
    std::int64_t ReadLine(std::string_view& line);
    // The line of the file (from 1, blank and comment lines counted) on which the last record
    // handed out starts; the pieces of a line longer than a chunk all name that line.
    std::int64_t LineNumber() const { return m_lineNumber; }

private:
    void Opened() override {  // reading starts again at the file's first byte
        m_readBuffer = {};
        m_readStart = m_aheadSize = 0;
        m_aheadPosition = m_position = 0;
        m_nextLine = 1;
        m_lineNumber = 0;
        m_inComment = false;
    }
    int ReadChunk();
    // Up to size bytes of the file from position on, inside the read-ahead: valid until the next call.
    std::string_view ReadAt(std::uint64_t position, std::size_t size);

    std::string_view m_readBuffer;  // the chunk's lines, inside m_ahead, not all handed out yet
    std::size_t m_readStart = 0;    // first byte of m_readBuffer not yet handed out
    std::int64_t m_nextLine = 1;    // the line at m_readStart
    std::int64_t m_lineNumber = 0;
    bool m_inComment = false;  // the line being read began with "#" and has not ended yet
    // The large read-ahead behind the 1,024-byte chunks: m_ahead holds the file's bytes from
    // m_aheadPosition on; m_position is where the next chunk starts.
    std::vector<char> m_ahead;
    std::uint64_t m_aheadPosition = 0;
    std::size_t m_aheadSize = 0;
    std::uint64_t m_position = 0;
};

// Gathers text and writes it out in pieces of at least 1,000,000 bytes, all through WriteOut; with
// digests on, the SHA-256 of each file is computed from the pieces as they are written.
class CRecordWriter : public CRecordFile {
public:
    explicit CRecordWriter(IClock& clock = SystemClock(), bool digests = false);
    // 1 on success, 0 when writing failed (the text stays in the buffer).
    int WriteBuffered(std::string_view text);
    // The bytes waiting in the buffer.
    std::size_t Buffered() const { return m_writeBuffer.size(); }
    // Writes out what is buffered and makes the file durable. 1 on success, 0 when that failed.
    int FlushBuffer();
    // With digests on: the SHA-256 of the bytes written since the file was opened (after FlushBuffer,
    // the whole file's).
    Sha256Digest Digest() { return m_digest->Finish(); }
    bool Digesting() const { return m_digest != nullptr; }

private:
    void Opened() override {
        if (m_digest) m_digest->Restart();
    }
    void WriteOut() {  // the whole buffer, which is then empty; throws FileError, the buffer kept
        m_file.Write(m_writeBuffer.data(), m_writeBuffer.size());
        if (m_digest) {
            m_digest->Add(m_writeBuffer);  // its hashing overlaps what the writer does next
        } else {
            m_writeBuffer.clear();
        }
    }
    std::string m_writeBuffer;  // text handed in and not yet written
    std::unique_ptr<CStreamSha256> m_digest;
};
