// Inflate filter over zlib. Small reads are served from an output buffer;
// reads larger than it inflate straight into the caller's buffer, which keeps
// the filter close to a one-shot uncompress in throughput.
#include "framework/streams/InflateStream.h"

#include <cstring>

InflateStream::InflateStream(uint8_t swapBytes) : InputStream(swapBytes)
{
    std::memset(&m_zstream, 0, sizeof m_zstream);
}

InflateStream::~InflateStream()
{
    end();
}

void InflateStream::end()
{
    if (m_started) {
        inflateEnd(&m_zstream);
        m_started = 0;
    }
}

void InflateStream::reset()
{
    end();
    std::memset(&m_zstream, 0, sizeof m_zstream);
    m_error = 0;
    m_size = 0;
    m_inputFill = m_inputUsed = 0;
    m_outputFill = m_outputRead = 0;
    m_source = nullptr;
    m_packedSize = m_packedTaken = 0;
    m_unpackedSize = m_unpackedPosition = 0;
}

int InflateStream::open(InputStream* source, uint32_t packedSize, uint32_t unpackedSize)
{
    reset();
    m_source = source;
    m_packedSize = packedSize;
    m_unpackedSize = unpackedSize;
    m_size = unpackedSize;
    if (source == nullptr || inflateInit(&m_zstream) != Z_OK) {
        m_error = 1;
        return 0;
    }
    m_started = 1;
    return 1;
}

uint32_t InflateStream::available()
{
    return m_error ? 0 : m_unpackedSize - m_unpackedPosition;
}

int InflateStream::fillInput()
{
    if (m_inputUsed != 0) {
        std::memmove(m_input, m_input + m_inputUsed, m_inputFill - m_inputUsed);
        m_inputFill -= m_inputUsed;
        m_inputUsed = 0;
    }
    uint32_t want = kInputSize - m_inputFill;
    uint32_t left = m_packedSize - m_packedTaken;
    if (want > left)
        want = left;
    if (want != 0) {
        m_source->read(m_input + m_inputFill, want);
        if (m_source->hasError())
            return 0;
        m_inputFill += want;
        m_packedTaken += want;
    }
    return 1;
}

uint32_t InflateStream::inflateInto(uint8_t* out, uint32_t n)
{
    if (!m_started) {
        m_error = 1;
        return 0;
    }
    if (!fillInput()) {
        m_error = 1;
        end();
        return 0;
    }
    m_zstream.next_in = m_input;
    m_zstream.avail_in = m_inputFill;
    m_zstream.next_out = out;
    m_zstream.avail_out = n;
    int result = inflate(&m_zstream, Z_NO_FLUSH);
    uint32_t produced = n - m_zstream.avail_out;
    m_inputUsed = m_inputFill - m_zstream.avail_in;
    if (result != Z_OK && result != Z_STREAM_END)
        m_error = 1;
    // At the stream's end or on an error the state goes; what was produced
    // can still be read.
    if (result != Z_OK)
        end();
    return produced;
}

void InflateStream::refill()
{
    m_outputFill = 0;
    m_outputRead = 0;
    m_outputFill = inflateInto(m_output, kOutputSize);
}

void InflateStream::read(void* buffer, uint32_t n)
{
    if (buffer == nullptr || n == 0)
        return;
    if (available() < n) {
        m_error = 1;
        std::memset(buffer, 0, n);
        return;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < n && !m_error) {
        if (m_outputRead == m_outputFill) {
            uint32_t want = n - done;
            if (want >= kOutputSize) {
                // Once the stream has ended, the next call finds no state
                // and sets the error: the data was shorter than announced.
                done += inflateInto(out + done, want);
                continue;
            }
            refill();
            continue;
        }
        uint32_t take = m_outputFill - m_outputRead;
        if (take > n - done)
            take = n - done;
        std::memcpy(out + done, m_output + m_outputRead, take);
        m_outputRead += take;
        done += take;
    }
    m_unpackedPosition += done;
    if (m_error)
        std::memset(buffer, 0, n);
}

void InflateStream::skip(uint32_t n)
{
    if (n == 0)
        return;
    if (available() < n) {
        m_error = 1;
        return;
    }
    uint32_t done = 0;
    while (done < n && !m_error) {
        if (m_outputRead == m_outputFill) {
            refill();
            continue;
        }
        uint32_t take = m_outputFill - m_outputRead;
        if (take > n - done)
            take = n - done;
        m_outputRead += take;
        done += take;
    }
    m_unpackedPosition += done;
}

int inflateBuffer(const void* source, uint32_t sourceSize, void* destination, uint32_t destinationSize)
{
    if (source == nullptr || sourceSize == 0)
        return destinationSize == 0;
    uLongf produced = destinationSize;
    int result = uncompress(static_cast<Bytef*>(destination), &produced,
                            static_cast<const Bytef*>(source), sourceSize);
    return result == Z_OK && produced == destinationSize;
}
