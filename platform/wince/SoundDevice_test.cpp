#include "platform/wince/SoundDevice.h"

#include "framework/resources/SoundSample.h"
#include "framework/services/ServiceAccessors.h"
#include "platform/host/HandleTable.h"
#include "platform/host/HostAygShell.h"
#include "platform/host/HostWaveOut.h"
#include "platform/wince/NullService.h"
#include "tests/support/BuildFixture.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Pcm = std::vector<int16_t>;

std::unique_ptr<SoundSample> sampleOf(const Pcm& pcm)
{
    auto sample = std::make_unique<SoundSample>();
    const uint32_t size = uint32_t(pcm.size() * sizeof(int16_t));
    auto bytes = std::make_unique<uint8_t[]>(size);
    std::memcpy(bytes.get(), pcm.data(), size);
    sample->adopt(std::move(bytes), size, ResourceType::RawPcm);
    return sample;
}

// The mixer's rule, written out: each voice scaled by its gain, then summed
// and held to 16 bits.
Pcm mixed(std::initializer_list<std::pair<const Pcm*, uint32_t>> voices, size_t length)
{
    Pcm out(length);
    for (size_t i = 0; i < length; ++i) {
        int32_t sum = 0;
        for (auto [pcm, gain] : voices)
            sum += i < pcm->size() ? (*pcm)[i] * int32_t(gain) / 0xFFFF : 0;
        out[i] = int16_t(std::clamp(sum, -32768, 32767));
    }
    return out;
}

Pcm slice(const Pcm& pcm, size_t from, size_t count)
{
    return Pcm(pcm.begin() + ptrdiff_t(from), pcm.begin() + ptrdiff_t(from + count));
}

class SoundDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_app.started());
        ASSERT_TRUE(hostAudioSetManual(true));
        hostShellReset();
        m_handles = hostLiveHandleCount();
        installSoundDeviceCreator();
        m_sound = getSound();
        ASSERT_NE(m_sound, nullptr);
    }
    void TearDown() override
    {
        delete m_sound;
        EXPECT_EQ(hostLiveHandleCount(), m_handles);
        EXPECT_FALSE(hostShellRecord().vibrating);
        setSoundDeviceCreator(nullptr);
        hostAudioSetOpenFailure(false);
    }

    // A ramp that crosses zero, so every sample differs from its neighbours.
    static Pcm ramp(size_t length)
    {
        Pcm pcm(length);
        for (size_t i = 0; i < length; ++i)
            pcm[i] = int16_t(int32_t(i) * 157 - 20000);
        return pcm;
    }

    TestApp m_app;
    SoundService* m_sound = nullptr;
    uint32_t m_handles = 0;
};

TEST_F(SoundDeviceTest, VoiceIsDoneAfterTheTicksThatCoverItAndFreedByTheNextUpdate)
{
    const Pcm pcm = ramp(400); // 800 bytes, 50 ms
    const auto sample = sampleOf(pcm);
    const uint32_t id = m_sound->play(sample.get(), 0, 0x77);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(hostLiveHandleCount(), m_handles + 1);
    hostAudioAdvance(49);
    EXPECT_EQ(m_sound->isPlaying(id), 1);
    m_sound->update(49);
    EXPECT_EQ(m_sound->isPlaying(0), 1);
    hostAudioAdvance(1);
    EXPECT_EQ(m_sound->isPlaying(id), 0);
    EXPECT_EQ(m_sound->isPlaying(0), 0);
    EXPECT_EQ(hostLiveHandleCount(), m_handles + 1); // done, still listed
    m_sound->update(1);
    EXPECT_EQ(hostLiveHandleCount(), m_handles);
    hostAudioAdvance(10);
    const Pcm heard = hostAudioCaptured();
    ASSERT_EQ(heard.size(), 480u);
    EXPECT_EQ(slice(heard, 0, 400), pcm);
    EXPECT_EQ(slice(heard, 400, 80), Pcm(80, 0));
}

// At full volume the two voices also saturate at the 16-bit limits.
TEST_F(SoundDeviceTest, VolumeScalesEveryVoiceAtOnce)
{
    struct Case {
        uint32_t volume;
        uint32_t kept;
        DWORD word;
    };
    const Case cases[] = {
        {10, 10, 0xFFFFFFFF},
        {5, 5, 0x7FFF7FFF},
        {3, 3, 0x4CCC4CCC},
        {0, 0, 0},
        {200, 10, 0xFFFFFFFF},
    };
    const Pcm loud = {32767, -32768, 12345, -1, 1, -12345, 30000, 7};
    const Pcm quiet = {1000, -1000, 3, -3, 999, -999, 0, 77};
    const auto sampleLoud = sampleOf(loud), sampleQuiet = sampleOf(quiet);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.volume);
        EXPECT_EQ(soundVolumeWord(c.kept), c.word);
        m_sound->setVolume(10);
        hostAudioSetCapture(true);
        const uint32_t playing = m_sound->play(sampleLoud.get(), 0, 0);
        m_sound->setVolume(c.volume); // reaches the voice already playing
        EXPECT_EQ(m_sound->getVolume(), c.kept);
        const uint32_t later = m_sound->play(sampleQuiet.get(), 0, 0);
        ASSERT_TRUE(playing && later);
        hostAudioAdvance(1);
        const uint32_t gain = c.word & 0xFFFF;
        EXPECT_EQ(hostAudioCaptured(), mixed({{&loud, gain}, {&quiet, gain}}, 8));
        m_sound->update(1);
    }
    // Half volume is 32767 / 65535 of a sample.
    EXPECT_EQ(mixed({{&loud, 0x7FFF}}, 1)[0], 16383);
}

TEST_F(SoundDeviceTest, PauseHoldsThePositionAndResumeContinuesIt)
{
    const Pcm pcm = ramp(240);
    const auto sample = sampleOf(pcm);
    const uint32_t id = m_sound->play(sample.get(), 0, 0);
    ASSERT_NE(m_sound->vibrate(1000, 0), 0u);
    hostAudioAdvance(10);
    m_sound->pauseAll();
    EXPECT_EQ(m_sound->isVibrating(0), 0); // pausing also stops the motor
    EXPECT_FALSE(hostShellRecord().vibrating);
    hostAudioAdvance(20);
    m_sound->update(20);
    EXPECT_EQ(m_sound->isPlaying(id), 1);
    m_sound->resumeAll();
    hostAudioAdvance(20);
    const Pcm heard = hostAudioCaptured();
    ASSERT_EQ(heard.size(), 400u);
    EXPECT_EQ(slice(heard, 0, 80), slice(pcm, 0, 80));
    EXPECT_EQ(slice(heard, 80, 160), Pcm(160, 0));
    EXPECT_EQ(slice(heard, 240, 160), slice(pcm, 80, 160));
    EXPECT_EQ(m_sound->isPlaying(id), 0);
}

TEST_F(SoundDeviceTest, SoundOffAndFailedOpensPlayNothingAndKeepNothing)
{
    const Pcm pcm = ramp(80);
    const auto sample = sampleOf(pcm);
    ASSERT_EQ(m_sound->play(sample.get(), 0, 0), 1u);
    m_sound->setSoundEnabled(0);
    EXPECT_EQ(m_sound->isSoundEnabled(), 0);
    EXPECT_EQ(m_sound->isPlaying(0), 0); // switching off stopped it
    EXPECT_EQ(hostLiveHandleCount(), m_handles);
    EXPECT_EQ(m_sound->play(sample.get(), 0, 0), 0u);
    m_sound->setSoundEnabled(1);
    EXPECT_EQ(m_sound->play(nullptr, 0, 0), 0u);
    EXPECT_EQ(m_sound->play(sample.get(), 0, 0), 2u); // neither refusal took an id
    EXPECT_EQ(m_sound->play(sample.get(), 0, 0), 3u);
    m_sound->stop(2);
    EXPECT_EQ(m_sound->isPlaying(2), 0);
    EXPECT_EQ(m_sound->isPlaying(3), 1);
    EXPECT_EQ(hostLiveHandleCount(), m_handles + 1);
    m_sound->stop(0);

    // The device refuses: the id is spent, but no voice stays behind as
    // "playing" for ever.
    hostAudioSetOpenFailure(true);
    EXPECT_EQ(m_sound->play(sample.get(), 0, 0), 0u);
    EXPECT_EQ(m_sound->isPlaying(0), 0);
    EXPECT_EQ(hostLiveHandleCount(), m_handles);
    hostAudioSetOpenFailure(false);
    EXPECT_EQ(m_sound->play(sample.get(), 0, 0), 5u);
    hostAudioAdvance(20);
    EXPECT_EQ(hostAudioCaptured(), mixed({{&pcm, 0xFFFF}}, 160));
}

TEST_F(SoundDeviceTest, VibrationFollowsPriorityAndCountsDown)
{
    enum Op { Vibrate_, Stop, Update, Enable, FailMotor };
    struct Step {
        Op op;
        int32_t a, b;
        uint32_t result;     // of vibrate
        uint32_t vibratingId; // 0: nothing runs
        bool motor;
    };
    const Step steps[] = {
        {Vibrate_, 500, 3, 1, 1, true},
        {Vibrate_, 200, 1, 2, 2, true},  // lower value wins, keeps the 500 ms
        {Vibrate_, 900, 5, 0, 2, true},  // higher value refused
        {Vibrate_, 100, 1, 3, 3, true},  // equal value takes over
        {Stop, 2, 0, 0, 3, true},        // not the current id
        {Update, 50, 9, 0, 3, true},     // nine frames of 50 ms
        {Update, 50, 1, 0, 0, false},    // the tenth ends it
        {Vibrate_, 0, 0, 0, 0, false},   // no duration
        {Vibrate_, 100, 7, 4, 4, true},
        {Stop, 4, 0, 0, 0, false},
        {FailMotor, 1, 0, 0, 0, false},
        {Vibrate_, 100, 0, 0, 0, false}, // the motor refused: no id spent
        {FailMotor, 0, 0, 0, 0, false},
        {Enable, 0, 0, 0, 0, false},
        {Vibrate_, 100, 0, 0, 0, false},
        {Enable, 1, 0, 0, 0, false},
        {Vibrate_, 100, 0, 5, 5, true},
        {Enable, 0, 0, 0, 0, false},     // switching off stops it
        {Enable, 1, 0, 0, 0, false},
        {Vibrate_, 30, 0, 6, 6, true},
        {Update, -1, 1, 0, 0, false},    // a step of 2^32 - 1 ms still counts down
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE(i);
        switch (s.op) {
        case Vibrate_:
            EXPECT_EQ(m_sound->vibrate(s.a, s.b), s.result);
            break;
        case Stop:
            m_sound->stopVibrate(uint32_t(s.a));
            break;
        case Update:
            for (int32_t n = 0; n < s.b; ++n)
                m_sound->update(uint32_t(s.a));
            break;
        case Enable:
            m_sound->setVibrationEnabled(s.a);
            EXPECT_EQ(m_sound->isVibrationEnabled(), s.a);
            break;
        case FailMotor:
            hostShellSetVibrateFailure(s.a != 0);
            break;
        }
        EXPECT_EQ(m_sound->isVibrating(0), s.vibratingId ? 1 : 0);
        if (s.vibratingId) {
            EXPECT_EQ(m_sound->isVibrating(s.vibratingId), 1);
            EXPECT_EQ(m_sound->isVibrating(s.vibratingId + 1), 0);
        }
        EXPECT_EQ(hostShellRecord().vibrating, s.motor);
    }
    // The motor starts only when nothing runs, and always without end.
    EXPECT_EQ(hostShellRecord().vibrateCalls, 5u);
    EXPECT_EQ(hostShellRecord().vibrateStopCalls, 4u);
    EXPECT_EQ(hostShellRecord().vibrateTimeout, INFINITE);
    EXPECT_EQ(hostShellRecord().vibrateRepeat, TRUE);
    // Voices and vibrations share one counter.
    const auto sample = sampleOf(ramp(8));
    EXPECT_EQ(m_sound->play(sample.get(), 0, 0), 7u);
}

TEST_F(SoundDeviceTest, DecodedToneComesOutSampleForSample)
{
    const std::vector<uint8_t> ogg = readBuildFixture("fixtures/ogg/tone_8k_mono.ogg");
    if (ogg.empty())
        GTEST_SKIP() << "tone_8k_mono.ogg was not built (oggenc missing?)";
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(decodeSound(ogg.data(), uint32_t(ogg.size()), &data, &size, 1), 1);
    auto sample = std::make_unique<SoundSample>();
    sample->adopt(std::unique_ptr<uint8_t[]>(data), size, ResourceType::RawPcm);
    Pcm tone(size / 2);
    std::memcpy(tone.data(), data, size);
    ASSERT_EQ(tone.size(), 4000u);
    ASSERT_GT(*std::max_element(tone.begin(), tone.end()), 1000);

    ASSERT_NE(m_sound->play(sample.get(), 0, 0), 0u);
    hostAudioAdvance(500);
    EXPECT_EQ(m_sound->isPlaying(0), 0);
    EXPECT_EQ(hostAudioCaptured(), tone);
    m_sound->update(0);

    // The same tone through SDL's device, on its own thread, in real time.
    ASSERT_TRUE(hostAudioSetManual(false));
    hostAudioSetCapture(true);
    ASSERT_NE(m_sound->play(sample.get(), 0, 0), 0u);
    // A generous bound only so that a lost completion fails instead of hanging.
    for (int waited = 0; m_sound->isPlaying(0) && waited < 20000; waited += 5)
        SDL_Delay(5);
    EXPECT_EQ(m_sound->isPlaying(0), 0);
    m_sound->update(0);
    EXPECT_EQ(hostLiveHandleCount(), m_handles);
    hostAudioSetCapture(false);
    const Pcm heard = hostAudioCaptured();
    EXPECT_NE(std::search(heard.begin(), heard.end(), tone.begin(), tone.end()), heard.end());
    hostAudioShutdown();
}

TEST(SoundServices, AccessorsMakeCacheAndForgetTheirServices)
{
    TestApp app;
    ASSERT_TRUE(app.started());
    EXPECT_EQ(getNullService(), nullptr); // no creator yet
    installNullServiceCreator();
    installSoundDeviceCreator();
    NullService* none = getNullService();
    SoundService* sound = getSound();
    ASSERT_TRUE(none && sound);
    EXPECT_EQ(getNullService(), none);
    EXPECT_EQ(getSound(), sound);
    EXPECT_EQ(findService(0x539DCCAD), none);
    EXPECT_EQ(findService(0xF4F71410), sound);
    EXPECT_EQ(app.m_soundDevice, sound);
    none->run();
    EXPECT_EQ(none->query1() | none->query2() | none->query3() | none->query4() | none->query5(), 0);
    EXPECT_EQ(sound->isSoundEnabled(), 1);
    EXPECT_EQ(sound->isVibrationEnabled(), 1);
    EXPECT_EQ(sound->getVolume(), 10u);
    delete none;
    delete sound;
    EXPECT_EQ(app.m_nullService, nullptr);
    EXPECT_EQ(app.m_soundDevice, nullptr);
    EXPECT_EQ(findService(0x539DCCAD), nullptr);
    EXPECT_EQ(findService(0xF4F71410), nullptr);
    setNullServiceCreator(nullptr);
    setSoundDeviceCreator(nullptr);
}

} // namespace
