// Sound data of the pack: raw PCM kept as stored, or Ogg Vorbis decoded once
// at load time to 16-bit mono PCM at 8000 Hz, the only form the sound device
// plays.
#pragma once

#include <cstdint>

#include "framework/resources/DataBlock.h"

class InputStream;
class OutputStream;

namespace SoundFormat {
constexpr uint32_t Channels = 1;
constexpr uint32_t Bits = 16;
constexpr uint32_t Rate = 8000;
constexpr uint32_t WavHeaderSize = 44;
// The most PCM one sound may decode to (about half an hour): a hostile
// stream must not size a gigabyte allocation.
constexpr uint64_t MaxDecodedBytes = 32u << 20;
} // namespace SoundFormat

class SoundSample : public DataBlock {
public:
    SoundSample() : DataBlock(ResourceClassId::SoundSample) {}

    // Everything the stream has left: Ogg Vorbis (type OggVorbis) is decoded
    // and tagged RawPcm, any other type is kept as it is with the type as
    // tag. 0 and an empty sample on failure.
    int read(InputStream& stream, uint32_t typeId);
};

// Decodes a whole Ogg Vorbis stream in memory to 16-bit PCM, behind a WAV
// header unless headerless. Only mono 8000 Hz streams are taken. 1 with a
// new[] block in outData; 0 with both outputs cleared.
int decodeSound(const uint8_t* data, uint32_t size, uint8_t** outData, uint32_t* outSize, int headerless);

// The 44-byte header of a PCM WAV file; 1 when the stream took all of it.
int writeWavHeader(OutputStream& stream, uint32_t channels, uint32_t bits, uint32_t rate, uint32_t dataSize);
