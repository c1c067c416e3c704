// Section decompressors: each passes a section's stored bytes on to the
// parser as decompressed output. The zlib one inflates through a fixed
// 1024-byte window, so memory stays bounded whatever a section declares.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwHeapObject.h"

class CkwSerializeIn;

class CkwDecompress : public CkwHeapObject {
public:
    virtual bool write(const uint8_t* bytes, uint32_t count) = 0;

protected:
    explicit CkwDecompress(CkwSerializeIn& sink) : m_sink(sink) {}

    CkwSerializeIn& m_sink;
};

class CkwDecompressNone : public CkwDecompress {
public:
    static CkwDecompressNone* create(CkwSerializeIn& sink);
    bool write(const uint8_t* bytes, uint32_t count) override;

private:
    using CkwDecompress::CkwDecompress;
};

struct ZlibStream;

class CkwDecompressZLib : public CkwDecompress {
public:
    // Leaves -4 when the stream cannot be opened.
    static CkwDecompressZLib* create(CkwSerializeIn& sink);
    ~CkwDecompressZLib() override;
    // False on corrupt data; re-raises a leave of the parser's object layer.
    bool write(const uint8_t* bytes, uint32_t count) override;

private:
    using CkwDecompress::CkwDecompress;

    ZlibStream* m_stream = nullptr;
};

// The inflate stream block under CkwDecompressZLib.
constexpr uint32_t kZlibStreamTag = 0x5A4C4942; // "BILZ" in memory
constexpr uint32_t kZlibWindowSize = 1024;

bool zlibStreamOpen(uint32_t tag, CkwSerializeIn* sink, ZlibStream** handle);
bool zlibStreamFeed(const uint8_t* bytes, uint32_t count, ZlibStream* handle);
// True when zlib closed the stream cleanly; the block is freed either way.
bool zlibStreamClose(ZlibStream* handle);
