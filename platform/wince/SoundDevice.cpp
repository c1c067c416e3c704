// Voices live from play until the first update after the device reports them
// done; vibration runs until its time is used up or it is stopped.
#include "platform/wince/SoundDevice.h"

#include "framework/resources/DataBlock.h"
#include "framework/resources/SoundSample.h"
#include "framework/services/ServiceAccessors.h"
#include "platform/host/HostAygShell.h"
#include "platform/host/HostWaveOut.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace {

constexpr uint32_t kFullChannel = 0xFFFF;

// One playing sound and the output handle it plays on.
class SoundVoice : public ListNode {
public:
    SoundVoice(uint32_t id, uint32_t tag) : m_id(id), m_tag(tag) {}

    uint32_t m_id;
    uint32_t m_tag;
    HWAVEOUT m_device = nullptr;
    WAVEHDR m_header{};
    // Set by the completion callback, which may run on the audio thread.
    std::atomic<uint8_t> m_done{0};
};

// Runs on the audio side: it may only mark the voice.
void voiceCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
{
    if (message == WOM_DONE)
        reinterpret_cast<SoundVoice*>(instance)->m_done.store(1, std::memory_order_release);
}

bool openVoice(SoundVoice& voice, const DataBlock& sample)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = SoundFormat::Channels;
    format.nSamplesPerSec = SoundFormat::Rate;
    format.wBitsPerSample = SoundFormat::Bits;
    format.nBlockAlign = format.nChannels * format.wBitsPerSample / 8;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    if (waveOutOpen(&voice.m_device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(&voiceCallback),
                    reinterpret_cast<DWORD_PTR>(&voice), CALLBACK_FUNCTION)
        != MMSYSERR_NOERROR) {
        voice.m_device = nullptr;
        return false;
    }
    // The device only reads the bytes.
    voice.m_header.lpData = const_cast<char*>(reinterpret_cast<const char*>(sample.data()));
    voice.m_header.dwBufferLength = sample.size();
    return waveOutPrepareHeader(voice.m_device, &voice.m_header, sizeof voice.m_header) == MMSYSERR_NOERROR;
}

// Stops the voice's device and closes it; the voice is then only memory.
void closeVoice(SoundVoice& voice)
{
    voice.m_done.store(1, std::memory_order_relaxed);
    if (!voice.m_device)
        return;
    waveOutReset(voice.m_device);
    waveOutUnprepareHeader(voice.m_device, &voice.m_header, sizeof voice.m_header);
    waveOutClose(voice.m_device);
    voice.m_device = nullptr;
}

HashedObject* createSoundDeviceService()
{
    return createSoundDevice();
}

} // namespace

SoundService::~SoundService()
{
    forgetCachedService(&AppBase::m_soundDevice, this);
}

uint32_t soundVolumeWord(uint32_t volume)
{
    const uint32_t channel = volume * kFullChannel / SoundDevice::kMaxVolume;
    return channel | channel << 16;
}

SoundDevice::~SoundDevice()
{
    stop(0);
    stopVibrate(0);
}

void SoundDevice::setSoundEnabled(int on)
{
    m_soundEnabled = on ? 1 : 0;
    if (!on)
        stop(0);
}

void SoundDevice::setVibrationEnabled(int on)
{
    m_vibrationEnabled = on ? 1 : 0;
    if (!on)
        stopVibrate(0);
}

void SoundDevice::setVolume(uint32_t volume)
{
    m_volume = static_cast<uint8_t>(std::min(volume, kMaxVolume));
    const uint32_t word = soundVolumeWord(m_volume);
    for (ListNode* node = m_voices.head(); node; node = node->next())
        waveOutSetVolume(static_cast<SoundVoice*>(node)->m_device, word);
}

int SoundDevice::isPlaying(uint32_t id)
{
    for (ListNode* node = m_voices.head(); node; node = node->next()) {
        const SoundVoice* voice = static_cast<SoundVoice*>(node);
        if ((id == 0 || voice->m_id == id) && !voice->m_done.load(std::memory_order_acquire))
            return 1;
    }
    return 0;
}

int SoundDevice::isVibrating(uint32_t id)
{
    if (id == 0)
        return m_vibrating;
    return m_vibrating && m_vibrationId == id ? 1 : 0;
}

uint32_t SoundDevice::play(const DataBlock* sample, uint32_t, uint32_t tag)
{
    if (!m_soundEnabled || !sample)
        return 0;
    const uint32_t id = ++m_idCounter;
    SoundVoice* voice = new (std::nothrow) SoundVoice(id, tag);
    if (!voice)
        return 0;
    // A voice the device never took would never be reported done, so it
    // would stay listed (and "playing") for good.
    const bool opened = openVoice(*voice, *sample);
    if (opened)
        waveOutSetVolume(voice->m_device, soundVolumeWord(m_volume));
    if (!opened || waveOutWrite(voice->m_device, &voice->m_header, sizeof voice->m_header) != MMSYSERR_NOERROR) {
        closeVoice(*voice);
        delete voice;
        return 0;
    }
    m_voices.pushBack(voice);
    return id;
}

void SoundDevice::stop(uint32_t id)
{
    for (ListNode* node = m_voices.head(); node;) {
        SoundVoice* voice = static_cast<SoundVoice*>(node);
        node = node->next();
        if (id == 0 || voice->m_id == id) {
            closeVoice(*voice);
            delete voice; // unlinks itself
        }
    }
}

uint32_t SoundDevice::vibrate(int32_t durationMs, int32_t priority)
{
    if (!m_vibrationEnabled || durationMs == 0)
        return 0;
    if (m_vibrating) {
        if (priority > m_vibrationPriority)
            return 0;
        m_vibrationLeftMs = std::max(m_vibrationLeftMs, durationMs);
    } else {
        if (!SUCCEEDED(Vibrate(0, nullptr, TRUE, INFINITE)))
            return 0;
        m_vibrationLeftMs = durationMs;
    }
    m_vibrationPriority = priority;
    m_vibrationId = ++m_idCounter;
    m_vibrating = 1;
    return m_vibrationId;
}

void SoundDevice::stopVibrate(uint32_t id)
{
    if (id != 0 ? id != m_vibrationId : !m_vibrating)
        return;
    if (m_vibrating)
        VibrateStop();
    m_vibrationPriority = -1;
    m_vibrationId = 0;
    m_vibrationLeftMs = 0;
    m_vibrating = 0;
}

void SoundDevice::pauseAll()
{
    for (ListNode* node = m_voices.head(); node; node = node->next())
        waveOutPause(static_cast<SoundVoice*>(node)->m_device);
    stopVibrate(0);
}

void SoundDevice::resumeAll()
{
    for (ListNode* node = m_voices.head(); node; node = node->next())
        waveOutRestart(static_cast<SoundVoice*>(node)->m_device);
}

void SoundDevice::update(uint32_t stepMs)
{
    for (ListNode* node = m_voices.head(); node;) {
        SoundVoice* voice = static_cast<SoundVoice*>(node);
        node = node->next();
        if (voice->m_done.load(std::memory_order_acquire)) {
            closeVoice(*voice);
            delete voice;
        }
    }
    if (!m_vibrating)
        return;
    // In 64 bits: any step must count down, never wrap the time up.
    const int64_t left = int64_t(m_vibrationLeftMs) - stepMs;
    if (left <= 0)
        stopVibrate(0);
    else
        m_vibrationLeftMs = static_cast<int32_t>(left);
}

SoundDevice* createSoundDevice()
{
    return new (std::nothrow) SoundDevice;
}

SoundService* getSound()
{
    return static_cast<SoundService*>(findOrCreateCachedService(ServiceId::SoundDevice, &AppBase::m_soundDevice));
}

void installSoundDeviceCreator()
{
    setSoundDeviceCreator(createSoundDeviceService);
}
