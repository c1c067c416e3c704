// Sound samples and the Ogg Vorbis to PCM conversion through Tremor.
#include "framework/resources/SoundSample.h"

#include <cstring>
#include <memory>
#include <new>

#include <tremor/ivorbisfile.h>

#include "framework/resources/internal/OggMemoryCursor.h"
#include "framework/streams/InputStream.h"
#include "framework/streams/MemoryOutputStream.h"
#include "framework/util/LoadLedger.h"

size_t oggCursorRead(void* out, size_t size, size_t count, void* cursor)
{
    auto* c = static_cast<OggMemoryCursor*>(cursor);
    if (size == 0 || count == 0 || c->position >= c->size)
        return 0;
    uint64_t remaining = c->size - c->position;
    // size * count may overflow: compare in items first.
    uint64_t wanted = count > remaining / size ? remaining : uint64_t(size) * count;
    std::memcpy(out, c->data + c->position, static_cast<size_t>(wanted));
    c->position += wanted;
    return static_cast<size_t>(wanted);
}

int oggCursorSeek(void* cursor, int64_t offset, int whence)
{
    auto* c = static_cast<OggMemoryCursor*>(cursor);
    int64_t base;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(c->position); break;
    case SEEK_END: base = static_cast<int64_t>(c->size); break;
    default: return -1;
    }
    // The base is never negative, so only a positive offset can overflow.
    if (offset > 0 && base > INT64_MAX - offset)
        return -1;
    int64_t target = base + offset;
    if (target < 0 || static_cast<uint64_t>(target) > c->size)
        return -1;
    c->position = static_cast<uint64_t>(target);
    return 0;
}

int oggCursorClose(void*)
{
    return 0;
}

long oggCursorTell(void* cursor)
{
    return static_cast<long>(static_cast<OggMemoryCursor*>(cursor)->position);
}

int writeWavHeader(OutputStream& stream, uint32_t channels, uint32_t bits, uint32_t rate, uint32_t dataSize)
{
    // Little-endian whatever the stream's swap flag says: WAV fixes it.
    uint8_t swap = stream.swapBytes();
    stream.setSwapBytes(0);
    uint32_t blockAlign = (bits / 8) * channels;
    uint32_t written = stream.write("RIFF", 4);
    written += stream.writeU32(dataSize + 36);
    written += stream.write("WAVEfmt ", 8);
    written += stream.writeU32(16);
    written += stream.writeU16(1);
    written += stream.writeU16(static_cast<uint16_t>(channels));
    written += stream.writeU32(rate);
    written += stream.writeU32(blockAlign * rate);
    written += stream.writeU16(static_cast<uint16_t>(blockAlign));
    written += stream.writeU16(static_cast<uint16_t>(bits));
    written += stream.write("data", 4);
    written += stream.writeU32(dataSize);
    stream.setSwapBytes(swap);
    return written == SoundFormat::WavHeaderSize && !stream.hasError();
}

namespace {

// Owns the decoder between a successful open and the end of the decode.
struct OpenVorbis {
    OggVorbis_File file;
    bool open = false;
    ~OpenVorbis()
    {
        if (open)
            ov_clear(&file);
    }
};

} // namespace

int decodeSound(const uint8_t* data, uint32_t size, uint8_t** outData, uint32_t* outSize, int headerless)
{
    if (outData == nullptr || outSize == nullptr)
        return 0;
    *outData = nullptr;
    *outSize = 0;
    if (data == nullptr || size == 0)
        return 0;

    OggMemoryCursor cursor{data, size, 0};
    ov_callbacks callbacks{oggCursorRead, oggCursorSeek, oggCursorClose, oggCursorTell};
    OpenVorbis vorbis;
    if (ov_open_callbacks(&cursor, &vorbis.file, nullptr, 0, callbacks) < 0)
        return 0;
    vorbis.open = true;

    // The sound device plays one format only; anything else would play at
    // the wrong speed, so it is refused here rather than mangled there.
    vorbis_info* info = ov_info(&vorbis.file, -1);
    if (info == nullptr || info->channels != int(SoundFormat::Channels) || info->rate != long(SoundFormat::Rate))
        return 0;
    int64_t samples = ov_pcm_total(&vorbis.file, -1);
    if (samples <= 0)
        return 0;
    uint64_t pcmBytes = uint64_t(samples) * (SoundFormat::Bits / 8) * SoundFormat::Channels;
    if (pcmBytes > SoundFormat::MaxDecodedBytes)
        return 0;
    uint32_t header = headerless ? 0 : SoundFormat::WavHeaderSize;
    uint32_t total = static_cast<uint32_t>(pcmBytes) + header;
    std::unique_ptr<uint8_t[]> buffer(LoadScope::charge(total) ? new (std::nothrow) uint8_t[total] : nullptr);
    if (!buffer)
        return 0;
    if (!headerless) {
        MemoryOutputStream headerStream;
        headerStream.open(buffer.get(), header);
        if (!writeWavHeader(headerStream, SoundFormat::Channels, SoundFormat::Bits, SoundFormat::Rate,
                            static_cast<uint32_t>(pcmBytes)))
            return 0;
    }

    uint32_t decoded = 0;
    while (decoded < pcmBytes) {
        int bitstream = 0;
        uint32_t missing = static_cast<uint32_t>(pcmBytes) - decoded;
        int chunk = missing > 0x10000u ? 0x10000 : static_cast<int>(missing);
        long got = ov_read(&vorbis.file, reinterpret_cast<char*>(buffer.get() + header + decoded), chunk, &bitstream);
        if (got <= 0)
            break;
        decoded += static_cast<uint32_t>(got);
    }
    if (decoded != pcmBytes)
        return 0;
    *outData = buffer.release();
    *outSize = total;
    return 1;
}

int SoundSample::read(InputStream& stream, uint32_t typeId)
{
    clear();
    uint32_t size = stream.available();
    if (size == 0)
        return 0;
    if (typeId != ResourceType::OggVorbis)
        return DataBlock::read(stream, typeId);

    std::unique_ptr<uint8_t[]> ogg = readAnnounced<uint8_t>(stream, size);
    if (!ogg)
        return 0;
    uint8_t* pcm = nullptr;
    uint32_t pcmSize = 0;
    if (!decodeSound(ogg.get(), size, &pcm, &pcmSize, 1))
        return 0;
    adopt(std::unique_ptr<uint8_t[]>(pcm), pcmSize, ResourceType::RawPcm);
    // Only the sound it unpacked stays.
    ogg.reset();
    LoadScope::release(size);
    return 1;
}
