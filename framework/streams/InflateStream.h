// Input stream filter that inflates a zlib stream pulled from a source stream
// in slices, so an entry of any size is read, skipped or copied piecewise.
// Never takes more than the packed size from the source, never delivers more
// than the unpacked size.
#pragma once

#include <cstdint>

#include <zlib.h>

#include "framework/streams/InputStream.h"

class InflateStream : public InputStream {
public:
    explicit InflateStream(uint8_t swapBytes = 0);
    ~InflateStream() override;

    // Ends a previous inflate and starts one over source; 1 when zlib started,
    // else the error flag is set and the result is 0.
    int open(InputStream* source, uint32_t packedSize, uint32_t unpackedSize);
    // Ends the inflate and clears every field, the error flag and size included.
    void reset();

    uint32_t available() override;
    void skip(uint32_t n) override;
    void read(void* buffer, uint32_t n) override;

private:
    // Large enough that a slice costs little next to inflating it, small
    // enough for a stream that lives on the stack.
    static constexpr uint32_t kInputSize = 16384;
    static constexpr uint32_t kOutputSize = 1024;

    void end();
    void refill();
    // Inflates straight into out, up to n bytes; returns the bytes produced.
    uint32_t inflateInto(uint8_t* out, uint32_t n);
    // Tops the input buffer up from the source; 0 on a source error.
    int fillInput();

    uint8_t m_started = 0;
    z_stream m_zstream;
    uint32_t m_inputFill = 0;
    uint32_t m_inputUsed = 0;
    uint32_t m_outputFill = 0;
    uint32_t m_outputRead = 0;
    InputStream* m_source = nullptr;
    uint32_t m_packedSize = 0;
    uint32_t m_packedTaken = 0;
    uint32_t m_unpackedSize = 0;
    uint32_t m_unpackedPosition = 0;
    uint8_t m_input[kInputSize];
    uint8_t m_output[kOutputSize];
};

// One-shot inflate of a whole zlib stream: 1 when it yields exactly
// destinationSize bytes. An empty source succeeds only for an empty destination.
int inflateBuffer(const void* source, uint32_t sourceSize, void* destination, uint32_t destinationSize);
