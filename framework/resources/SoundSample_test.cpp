#include "framework/resources/SoundSample.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/resources/IdList.h"
#include "framework/resources/internal/OggMemoryCursor.h"
#include "framework/streams/MemoryInputStream.h"
#include "framework/streams/MemoryOutputStream.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/BuildFixture.h"
#include "tests/support/RunDryStream.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Fixtures are 4000-sample tones encoded at build time by tools/ogg.
constexpr uint32_t kFixtureSamples = 4000;

Bytes fixture(const char* name)
{
    return readBuildFixture((std::string("fixtures/ogg/") + name).c_str());
}

#define REQUIRE_FIXTURE(bytes, name)                                    \
    Bytes bytes = fixture(name);                                        \
    if (bytes.empty())                                                  \
        GTEST_SKIP() << name << " was not built (oggenc missing?)";

Bytes wavHeader(uint32_t channels, uint32_t bits, uint32_t rate, uint32_t dataSize)
{
    Bytes out(SoundFormat::WavHeaderSize);
    MemoryOutputStream stream;
    stream.open(out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(writeWavHeader(stream, channels, bits, rate, dataSize), 1);
    return out;
}

} // namespace

TEST(WavHeader, WritesTheFortyFourByteLittleEndianHeader)
{
    const Bytes expected = {'R', 'I', 'F', 'F', 0x2C, 0x01, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                            16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0,
                            2, 0, 16, 0, 'd', 'a', 't', 'a', 0x08, 0x01, 0, 0};
    EXPECT_EQ(wavHeader(1, 16, 8000, 264), expected);

    // A swapping stream still gets the little-endian header, and keeps its flag.
    Bytes swapped(SoundFormat::WavHeaderSize);
    MemoryOutputStream stream(1);
    stream.open(swapped.data(), static_cast<uint32_t>(swapped.size()));
    EXPECT_EQ(writeWavHeader(stream, 1, 16, 8000, 264), 1);
    EXPECT_EQ(swapped, expected);
    EXPECT_EQ(stream.swapBytes(), 1);

    Bytes small(20);
    MemoryOutputStream tooSmall;
    tooSmall.open(small.data(), 20);
    EXPECT_EQ(writeWavHeader(tooSmall, 1, 16, 8000, 264), 0);
}

TEST(DecodeSound, MonoEightKilohertzDecodesToPcmTotalTimesTwoBytes)
{
    REQUIRE_FIXTURE(ogg, "tone_8k_mono.ogg");
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(decodeSound(ogg.data(), uint32_t(ogg.size()), &data, &size, 1), 1);
    EXPECT_EQ(size, kFixtureSamples * 2);
    // A tone, not silence.
    int peak = 0;
    for (uint32_t i = 0; i + 1 < size; i += 2)
        peak = std::max(peak, std::abs(int(int16_t(data[i] | (data[i + 1] << 8)))));
    EXPECT_GT(peak, 8000);
    delete[] data;

    ASSERT_EQ(decodeSound(ogg.data(), uint32_t(ogg.size()), &data, &size, 0), 1);
    ASSERT_EQ(size, kFixtureSamples * 2 + SoundFormat::WavHeaderSize);
    EXPECT_EQ(Bytes(data, data + SoundFormat::WavHeaderSize), wavHeader(1, 16, 8000, kFixtureSamples * 2));
    delete[] data;
}

TEST(DecodeSound, RefusedInputLeavesBothOutputsCleared)
{
    REQUIRE_FIXTURE(mono, "tone_8k_mono.ogg");
    Bytes stereo = fixture("tone_8k_stereo.ogg");
    Bytes fast = fixture("tone_44k_mono.ogg");
    ASSERT_FALSE(stereo.empty());
    ASSERT_FALSE(fast.empty());
    Bytes truncated(mono.begin(), mono.begin() + mono.size() / 2);
    Bytes garbage(200, 0x5A);
    Bytes corruptTail = mono;
    for (size_t i = corruptTail.size() - 64; i < corruptTail.size(); ++i)
        corruptTail[i] ^= 0xFF;

    struct Case {
        const char* what;
        const Bytes* bytes;
    };
    const Case cases[] = {
        {"stereo", &stereo},
        {"44.1 kHz", &fast},
        {"truncated", &truncated},
        {"garbage", &garbage},
        {"corrupt last page", &corruptTail},
    };
    for (const Case& c : cases) {
        uint8_t* data = reinterpret_cast<uint8_t*>(1);
        uint32_t size = 7;
        EXPECT_EQ(decodeSound(c.bytes->data(), uint32_t(c.bytes->size()), &data, &size, 1), 0) << c.what;
        EXPECT_EQ(data, nullptr) << c.what;
        EXPECT_EQ(size, 0u) << c.what;

        SoundSample sample;
        MemoryInputStream stream;
        stream.open(c.bytes->data(), uint32_t(c.bytes->size()));
        EXPECT_EQ(sample.read(stream, ResourceType::OggVorbis), 0) << c.what;
        EXPECT_EQ(sample.data(), nullptr) << c.what;
        EXPECT_EQ(sample.size(), 0u) << c.what;
    }
}

TEST(SoundSample, OggEntriesBecomeRawPcmAndRawEntriesStayAsStored)
{
    REQUIRE_FIXTURE(ogg, "tone_8k_mono.ogg");
    SoundSample sample;
    MemoryInputStream stream;
    stream.open(ogg.data(), uint32_t(ogg.size()));
    ASSERT_EQ(sample.read(stream, ResourceType::OggVorbis), 1);
    EXPECT_EQ(sample.size(), kFixtureSamples * 2);
    EXPECT_EQ(sample.tag(), ResourceType::RawPcm);

    const uint8_t pcm[] = {1, 2, 3, 4, 5};
    stream.open(pcm, sizeof pcm);
    ASSERT_EQ(sample.read(stream, ResourceType::StoredSoundForms[2]), 1);
    EXPECT_EQ(Bytes(sample.data(), sample.data() + sample.size()), Bytes(pcm, pcm + 5));
    EXPECT_EQ(sample.tag(), ResourceType::StoredSoundForms[2]);

    stream.open(nullptr, 0);
    EXPECT_EQ(sample.read(stream, ResourceType::StoredSoundForms[2]), 0);
    EXPECT_EQ(sample.size(), 0u);
}

TEST(OggMemoryCursor, CallbacksStayInsideTheBlock)
{
    const uint8_t block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    OggMemoryCursor cursor{block, sizeof block, 0};
    struct Seek {
        int64_t offset;
        int whence;
        int result;
        uint64_t position;
    };
    const Seek seeks[] = {
        {4, SEEK_SET, 0, 4},  {3, SEEK_CUR, 0, 7},   {-2, SEEK_END, 0, 8}, {0, SEEK_END, 0, 10},
        {1, SEEK_END, -1, 10}, {-11, SEEK_CUR, -1, 10}, {11, SEEK_SET, -1, 10}, {-1, SEEK_SET, -1, 10},
        {INT64_MAX, SEEK_CUR, -1, 10}, {INT64_MIN, SEEK_END, -1, 10}, {0, 7, -1, 10}, {2, SEEK_SET, 0, 2},
    };
    for (const Seek& s : seeks) {
        EXPECT_EQ(oggCursorSeek(&cursor, s.offset, s.whence), s.result) << s.offset << " " << s.whence;
        EXPECT_EQ(cursor.position, s.position) << s.offset << " " << s.whence;
    }
    EXPECT_EQ(oggCursorTell(&cursor), 2);

    uint8_t out[16] = {};
    EXPECT_EQ(oggCursorRead(out, 1, 3, &cursor), 3u);
    EXPECT_EQ(out[0], 2);
    // size * count overflows size_t: the copy is still bounded by what is left.
    EXPECT_EQ(oggCursorRead(out, SIZE_MAX / 2, 4, &cursor), 5u);
    EXPECT_EQ(out[4], 9);
    EXPECT_EQ(oggCursorRead(out, 1, 4, &cursor), 0u);
    EXPECT_EQ(oggCursorClose(&cursor), 0);
}

TEST(IdList, ReadsCountedValuesAndRefusesShortLists)
{
    struct Case {
        Bytes bytes;
        int ok;
        uint32_t count;
    };
    const Case cases[] = {
        {{2, 0, 7, 0, 0, 0, 9, 0, 0, 0}, 1, 2},
        {{0, 0}, 1, 0},
        {{3, 0, 7, 0, 0, 0}, 0, 0},        // count beyond the data
        {{0xFF, 0xFF, 1, 2, 3, 4}, 0, 0},  // huge count, tiny stream
        {{1}, 0, 0},
    };
    for (const Case& c : cases) {
        IdList list;
        MemoryInputStream stream;
        stream.open(c.bytes.data(), uint32_t(c.bytes.size()));
        EXPECT_EQ(list.read(stream), c.ok);
        EXPECT_EQ(list.count(), c.count);
    }
    RunDryStream dry({0xFF, 0xFF, 7, 0, 0, 0}, 2 + 0xFFFF * 4);  // the most ids a list counts, one there
    AllocationWatch watch(1 << 20);
    EXPECT_EQ(IdList().read(dry), 0);
    EXPECT_LE(watch.largest(), kFirstReadBlock);  // ids taken as they arrive, not sized from the count
    IdList list;
    MemoryInputStream stream;
    stream.open(cases[0].bytes.data(), uint32_t(cases[0].bytes.size()));
    ASSERT_EQ(list.read(stream), 1);
    EXPECT_EQ(list.get(0), 7u);
    EXPECT_EQ(list.get(1), 9u);
    EXPECT_EQ(list.get(2), 0u);
    list.clear();
    EXPECT_EQ(list.count(), 0u);
}
