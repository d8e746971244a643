// Opening with waits, reading by the chunk rules, writing in large pieces. See record_file.h.
#include "engine/record_file.h"

#include <algorithm>
#include <cstring>

#include "base/file_error.h"

namespace {
// The read-ahead behind the 1,024-byte chunks. Large enough that the system sees few reads, small
// enough that memory stays flat whatever the input's size.
constexpr std::size_t kReadAheadSize = 1 << 20;
constexpr char kEndOfFileMark = 0x1A;        // Ctrl-Z, left at the end of files by old editors
constexpr int kRetryPollMilliseconds = 100;  // how often a waiting open asks whether to go on

// 1 when a writer's step succeeds; any failure is the caller's to report, known to it by 0 and reason.
template <class Step>
int Reported(std::string& reason, const Step& step) {
    try {
        step();
        return 1;
    } catch (const FileError& error) {
        reason = error.Reason();
        return 0;
    } catch (...) {
        return 0;
    }
}
}  // namespace

int CRecordFile::OpenWithRetry(const std::string& path, unsigned flags, const std::function<bool()>& keepTrying,
                               const std::function<void()>& waiting) {
    m_file.Close();
    m_openError = 0;
    m_failureReason.clear();
    bool open = m_file.Open(path, flags, &m_openError);
    // Only a file held by another program (a virus scanner, an editor) can clear; a missing file or
    // folder, a refusal, a FIFO never would.
    for (int attempt = 0; !open && platform::IsLockedError(m_openError) && attempt < kOpenRetries; ++attempt) {
        if (attempt == 0 && waiting) waiting();
        const std::int64_t waitStart = m_clock.Now();
        while (m_clock.Now() - waitStart < kOpenRetrySeconds) {
            m_clock.Sleep(kRetryPollMilliseconds);
            if (keepTrying && !keepTrying()) return 0;
        }
        open = m_file.Open(path, flags, &m_openError);
    }
    if (!open) {
        m_failureReason = platform::ErrorText(m_openError);
        return 0;
    }
    if (flags & platform::File::modeNoTruncate) m_file.Seek(0, platform::File::Origin::End);
    Opened();
    return 1;
}

std::string_view CRecordReader::ReadAt(std::uint64_t position, std::size_t size) {
    if (m_ahead.empty()) m_ahead.resize(kReadAheadSize);
    const bool inside = position >= m_aheadPosition && position <= m_aheadPosition + m_aheadSize;
    if (!inside) {
        m_file.Seek(static_cast<std::int64_t>(position), platform::File::Origin::Begin);
        m_aheadPosition = position;
        m_aheadSize = 0;
    }
    std::size_t offset = static_cast<std::size_t>(position - m_aheadPosition);
    if (offset + size > m_aheadSize) {
        std::memmove(m_ahead.data(), m_ahead.data() + offset, m_aheadSize - offset);
        m_aheadSize -= offset;
        m_aheadPosition = position;
        offset = 0;
        while (m_aheadSize < size) {
            const std::size_t got = m_file.Read(m_ahead.data() + m_aheadSize, m_ahead.size() - m_aheadSize);
            if (got == 0) break;
            m_aheadSize += got;
        }
    }
    return std::string_view(m_ahead.data() + offset, std::min(size, m_aheadSize - offset));
}

int CRecordReader::ReadChunk() {
    // Called when every line of the last chunk was handed out.
    const std::string_view chunk = ReadAt(m_position, kReadChunkSize);
    const std::size_t got = chunk.size();
    if (got == 0) return 0;
    m_position += got;

    std::size_t length = got;
    if (length < kReadChunkSize && chunk[length - 1] == kEndOfFileMark) --length;
    m_readBuffer = chunk.substr(0, length);
    m_readStart = 0;

    // A short read was the end of the file: the buffer ends with the last line, complete or not.
    if (got < kReadChunkSize) return 1;

    const std::size_t lastLf = m_readBuffer.rfind('\n');
    if (lastLf == std::string_view::npos) return 1;  // the chunk stands as one line
    // The partial last line is read again with the next chunk: move back over it. The buffer keeps
    // the line end of its last complete line, so that line reads as any other (a CR LF as two
    // bytes, a bare LF as one).
    m_position -= m_readBuffer.size() - (lastLf + 1);
    m_readBuffer = m_readBuffer.substr(0, lastLf + 1);
    return 1;
}

std::int64_t CRecordReader::ReadLine(std::string_view& line) {
    for (;;) {
        if (m_readStart >= m_readBuffer.size()) {
            m_readBuffer = {};
            m_readStart = 0;
            if (!ReadChunk()) return 0;
        }
        const std::size_t lf = m_readBuffer.find('\n', m_readStart);
        std::size_t lineEnd;
        std::size_t next;
        std::int64_t terminator;
        if (lf == std::string_view::npos) {
            // The last line of the file, or a line longer than a chunk: all that is left.
            lineEnd = next = m_readBuffer.size();
            terminator = 2;
        } else if (lf > m_readStart && m_readBuffer[lf - 1] == '\r') {
            lineEnd = lf - 1;
            next = lf + 1;
            terminator = 2;
        } else {
            lineEnd = lf;  // a line saved with LF alone
            next = lf + 1;
            terminator = 1;
        }
        const std::size_t start = m_readStart;
        m_readStart = next;
        // Lines are counted by their line ends: a piece of a line longer than a chunk, which has
        // none, belongs to the same line as the piece after it.
        const std::int64_t lineNumber = m_nextLine;
        if (lf != std::string_view::npos) ++m_nextLine;
        // A comment is skipped to its line end, also when it is longer than a chunk: its pieces
        // after the first (which have no "#" of their own) would otherwise read as records.
        const bool comment = m_inComment || (lineEnd != start && m_readBuffer[start] == '#');
        m_inComment = comment && lf == std::string_view::npos;
        if (lineEnd == start || comment) continue;
        m_lineNumber = lineNumber;

        line = m_readBuffer.substr(start, lineEnd - start);
        return static_cast<std::int64_t>(lineEnd - start) + terminator;
    }
}

CRecordWriter::CRecordWriter(IClock& clock, bool digests)
    : CRecordFile(clock), m_digest(digests ? std::make_unique<CStreamSha256>() : nullptr) {}

int CRecordWriter::WriteBuffered(std::string_view text) {
    return Reported(m_failureReason, [&] {
        if (m_writeBuffer.capacity() < kOutputBufferSize) m_writeBuffer.reserve(kOutputBufferSize + 256);
        m_writeBuffer += text;
        if (const std::size_t size = m_writeBuffer.size(); size >= kOutputBufferSize) {
            WriteOut();
            // The file is made durable when it is complete; its pieces go to the disk meanwhile, so
            // that the final flush does not wait for all of them at once.
            m_file.StartWriteBack(size);
        }
    });
}

int CRecordWriter::FlushBuffer() {
    return Reported(m_failureReason, [&] {
        if (!m_writeBuffer.empty()) WriteOut();
        // A file is flushed when it is complete: it must be on the disk before the run reports it
        // written, or a failure of the disk's cache would go unnoticed.
        m_file.Sync();
    });
}
