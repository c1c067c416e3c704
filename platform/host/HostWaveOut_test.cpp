#include "platform/host/HostWaveOut.h"

#include "platform/host/HandleTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

constexpr WAVEFORMATEX kPcm8k = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};

struct Heard {
    HWAVEOUT voice;
    UINT message;
    DWORD_PTR instance;
    DWORD_PTR param;
};

std::vector<Heard> g_heard;

void record(HWAVEOUT voice, UINT message, DWORD_PTR instance, DWORD_PTR param, DWORD_PTR)
{
    g_heard.push_back({voice, message, instance, param});
}

HWAVEOUT openVoice(DWORD_PTR instance)
{
    HWAVEOUT voice = nullptr;
    EXPECT_EQ(waveOutOpen(&voice, WAVE_MAPPER, &kPcm8k, reinterpret_cast<DWORD_PTR>(&record), instance,
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return voice;
}

WAVEHDR headerFor(std::vector<int16_t>& pcm)
{
    WAVEHDR header{};
    header.lpData = reinterpret_cast<char*>(pcm.data());
    header.dwBufferLength = DWORD(pcm.size() * sizeof(int16_t));
    return header;
}

class HostWaveOut : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(hostAudioSetManual(true));
        g_heard.clear();
        m_handles = hostLiveHandleCount();
    }
    void TearDown() override { EXPECT_EQ(hostLiveHandleCount(), m_handles); }

    uint32_t m_handles = 0;
};

TEST_F(HostWaveOut, VoicesMixByGainAndSaturateAndReportEveryStage)
{
    // Voice a holds two buffers so the second starts where the first ends.
    std::vector<int16_t> a1 = {30000, -30000, 32767, -32768, 1000};
    std::vector<int16_t> a2 = {-5, 7};
    std::vector<int16_t> b = {30000, -30000, 32767, -32768, -1001, 3, 9, -9};
    const DWORD gainA = 0xFFFF, gainB = 0x1234C000; // the right word of a mono device is ignored
    std::vector<int16_t> expected;
    for (size_t i = 0; i < 10; ++i) {
        const int32_t fromA = i < 5 ? a1[i] : i < 7 ? a2[i - 5] : 0;
        const int32_t fromB = i < b.size() ? b[i] * 0xC000 / 0xFFFF : 0;
        expected.push_back(int16_t(std::clamp(fromA * int32_t(gainA) / 0xFFFF + fromB, -32768, 32767)));
    }

    ASSERT_EQ(std::count(expected.begin(), expected.end(), 32767), 2);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), -32768), 2);

    HWAVEOUT va = openVoice(1), vb = openVoice(2);
    ASSERT_TRUE(va && vb);
    WAVEHDR ha1 = headerFor(a1), ha2 = headerFor(a2), hb = headerFor(b);
    for (auto [voice, header] : {std::pair{va, &ha1}, {va, &ha2}, {vb, &hb}}) {
        ASSERT_EQ(waveOutPrepareHeader(voice, header, sizeof *header), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(voice, header, sizeof *header), MMSYSERR_NOERROR);
        EXPECT_EQ(header->dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    }
    ASSERT_EQ(waveOutSetVolume(vb, gainB), MMSYSERR_NOERROR);
    hostAudioAdvance(1); // 8 samples: b and both of a's buffers run out
    hostAudioAdvance(0);
    hostAudioAdvance(1);
    EXPECT_EQ(hostAudioCaptured().size(), 16u);
    std::vector<int16_t> got = hostAudioCaptured();
    got.resize(expected.size());
    EXPECT_EQ(got, expected);
    for (WAVEHDR* header : {&ha1, &ha2, &hb})
        EXPECT_EQ(header->dwFlags, WHDR_PREPARED | WHDR_DONE);

    for (auto [voice, header] : {std::pair{va, &ha1}, {va, &ha2}, {vb, &hb}})
        EXPECT_EQ(waveOutUnprepareHeader(voice, header, sizeof *header), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(va), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(vb), MMSYSERR_NOERROR);
    hostAudioAdvance(10); // nothing is heard after a close
    const std::vector<Heard> order = {
        {va, WOM_OPEN, 1, 0},
        {vb, WOM_OPEN, 2, 0},
        {va, WOM_DONE, 1, DWORD_PTR(&ha1)},
        {va, WOM_DONE, 1, DWORD_PTR(&ha2)},
        {vb, WOM_DONE, 2, DWORD_PTR(&hb)},
        {va, WOM_CLOSE, 1, 0},
        {vb, WOM_CLOSE, 2, 0},
    };
    ASSERT_EQ(g_heard.size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(g_heard[i].voice, order[i].voice) << i;
        EXPECT_EQ(g_heard[i].message, order[i].message) << i;
        EXPECT_EQ(g_heard[i].instance, order[i].instance) << i;
        EXPECT_EQ(g_heard[i].param, order[i].param) << i;
    }
}

TEST_F(HostWaveOut, CallsOutOfOrderAreRefused)
{
    std::vector<int16_t> pcm(80, 100);
    WAVEHDR header = headerFor(pcm);
    HWAVEOUT voice = openVoice(7);
    ASSERT_NE(voice, nullptr);

    EXPECT_EQ(waveOutWrite(voice, &header, sizeof header), WAVERR_UNPREPARED);
    EXPECT_EQ(waveOutPrepareHeader(voice, &header, sizeof header - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutPrepareHeader(voice, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutWrite(voice, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutWrite(voice, &header, sizeof header), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutUnprepareHeader(voice, &header, sizeof header), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(voice), WAVERR_STILLPLAYING);

    // Paused, the voice keeps its place; a reset hands the buffer back.
    hostAudioAdvance(2);
    EXPECT_EQ(waveOutPause(voice), MMSYSERR_NOERROR);
    hostAudioAdvance(5);
    EXPECT_EQ(waveOutRestart(voice), MMSYSERR_NOERROR);
    hostAudioAdvance(1);
    std::vector<int16_t> expected(16, 100);
    expected.insert(expected.end(), 40, 0);
    expected.insert(expected.end(), 8, 100);
    EXPECT_EQ(hostAudioCaptured(), expected);
    g_heard.clear();
    EXPECT_EQ(waveOutReset(voice), MMSYSERR_NOERROR);
    EXPECT_EQ(header.dwFlags, WHDR_PREPARED | WHDR_DONE);
    ASSERT_EQ(g_heard.size(), 1u);
    EXPECT_EQ(g_heard[0].message, WOM_DONE);
    EXPECT_EQ(waveOutUnprepareHeader(voice, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(header.dwFlags, WHDR_DONE);
    EXPECT_EQ(waveOutClose(voice), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(voice), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutSetVolume(voice, 0), MMSYSERR_INVALHANDLE);

    struct Refusal {
        UINT device;
        WAVEFORMATEX format;
        DWORD flags;
        MMRESULT result;
    };
    const Refusal refusals[] = {
        {1, kPcm8k, CALLBACK_FUNCTION, MMSYSERR_BADDEVICEID},
        {0, kPcm8k, 0x50000, MMSYSERR_INVALFLAG},
        {0, {WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, 0}, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
        {0, {WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0}, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
        {0, {WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0}, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
        {0, {2, 1, 8000, 16000, 2, 16, 0}, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
        {0, {WAVE_FORMAT_PCM, 1, 8000, 16000, 4, 16, 0}, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
    };
    for (const Refusal& r : refusals) {
        HWAVEOUT refused = INVALID_HANDLE_VALUE;
        EXPECT_EQ(waveOutOpen(&refused, r.device, &r.format, 0, 0, r.flags), r.result);
        EXPECT_EQ(refused, nullptr);
    }
    hostAudioSetOpenFailure(true);
    HWAVEOUT refused = nullptr;
    EXPECT_EQ(waveOutOpen(&refused, 0, &kPcm8k, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
    hostAudioSetOpenFailure(false);
}

} // namespace
