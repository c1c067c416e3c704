// The two section decompressors and the inflate stream under the zlib one.
// Inflate writes into one 1024-byte window that is flushed to the parser each
// time it fills, so a section's declared size never sizes an allocation here.
#include "engine/core/loader/CkwDecompress.h"

#include <zlib.h>

#include "engine/core/loader/CkwSerializeIn.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

struct ZlibStream {
    uint32_t tag;
    CkwSerializeIn* sink;
    z_stream* stream;
    uint8_t window[kZlibWindowSize];
};

CkwDecompressNone* CkwDecompressNone::create(CkwSerializeIn& sink)
{
    return new CkwDecompressNone(sink);
}

bool CkwDecompressNone::write(const uint8_t* bytes, uint32_t count)
{
    return m_sink.deliverOutput(bytes, count);
}

CkwDecompressZLib* CkwDecompressZLib::create(CkwSerializeIn& sink)
{
    CkwDecompressZLib* self = new CkwDecompressZLib(sink);
    if (!zlibStreamOpen(kZlibStreamTag, &sink, &self->m_stream)) {
        delete self;
        leaveNoMemory();
    }
    return self;
}

CkwDecompressZLib::~CkwDecompressZLib()
{
    if (m_stream != nullptr)
        zlibStreamClose(m_stream);
}

bool CkwDecompressZLib::write(const uint8_t* bytes, uint32_t count)
{
    EngineContext& context = engineContextL();
    context.lastError = 0;
    if (zlibStreamFeed(bytes, count, m_stream))
        return true;
    // Closed here and forgotten, so the destructor does not close it again.
    zlibStreamClose(m_stream);
    m_stream = nullptr;
    if (context.lastError != 0)
        leave(context.lastError);
    return false;
}

bool zlibStreamOpen(uint32_t tag, CkwSerializeIn* sink, ZlibStream** handle)
{
    *handle = nullptr;
    if (tag != kZlibStreamTag)
        return false;
    auto* block = static_cast<ZlibStream*>(engineAlloc(sizeof(ZlibStream)));
    if (block == nullptr)
        return false;
    auto* stream = static_cast<z_stream*>(engineAlloc(sizeof(z_stream)));
    if (stream == nullptr) {
        engineFree(block);
        return false;
    }
    *stream = z_stream{};
    if (inflateInit(stream) != Z_OK) {
        engineFree(stream);
        engineFree(block);
        return false;
    }
    block->tag = tag;
    block->sink = sink;
    block->stream = stream;
    *handle = block;
    return true;
}

bool zlibStreamFeed(const uint8_t* bytes, uint32_t count, ZlibStream* handle)
{
    if (handle == nullptr)
        return false;
    z_stream& z = *handle->stream;
    z.next_in = const_cast<Bytef*>(bytes);
    z.avail_in = count;
    for (;;) {
        z.next_out = handle->window;
        z.avail_out = kZlibWindowSize;
        const int status = inflate(&z, Z_SYNC_FLUSH);
        const uint32_t produced = kZlibWindowSize - z.avail_out;
        countInflatedBytes(produced);
        if (produced > 0) {
            bool accepted = false;
            const int32_t code = engineTrap([&] { accepted = handle->sink->deliverOutput(handle->window, produced); });
            if (code != KErrNone) {
                engineContextL().lastError = code;
                return false;
            }
            if (!accepted)
                return false;
        }
        if (status == Z_OK) {
            if (z.avail_out != 0)
                return true;
        } else if (status == Z_STREAM_END) {
            return true;
        } else if (status == Z_BUF_ERROR) {
            return produced == 0;
        } else {
            return false;
        }
    }
}

bool zlibStreamClose(ZlibStream* handle)
{
    if (handle == nullptr)
        return false;
    const bool clean = inflateEnd(handle->stream) == Z_OK;
    engineFree(handle->stream);
    engineFree(handle);
    return clean;
}
