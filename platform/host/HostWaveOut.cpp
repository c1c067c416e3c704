// The voices and their mixer. Handles are made and looked up on the calling
// thread only; everything the mixing thread reads (the voice list, queues,
// header flags, gains, the capture) is guarded by one mutex, which the mixer
// also holds while it delivers WOM_DONE, so no callback can outrun a close.
#include "platform/host/HostWaveOut.h"

#include "platform/host/HandleTable.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace {

constexpr uint32_t kRate = 8000;
constexpr uint32_t kSamplesPerMs = kRate / 1000;
constexpr uint32_t kBytesPerSample = 2;
constexpr uint32_t kFullGain = 0xFFFF;
// Mixing works in blocks this long; it is also the SDL buffer (32 ms).
constexpr uint32_t kBlock = 256;
constexpr char kBackendVariable[] = "PENNYFALL_AUDIO";

struct Voice {
    HWAVEOUT handle = nullptr;
    WaveOutProc callback = nullptr;
    DWORD_PTR instance = 0;
    // Guarded by the mixer's lock.
    WAVEHDR* head = nullptr;
    WAVEHDR* tail = nullptr;
    uint32_t played = 0; // samples of the head buffer already mixed
    DWORD volume = 0xFFFFFFFF;
    bool paused = false;

    void notify(UINT message, DWORD_PTR param) const
    {
        if (callback)
            callback(handle, message, instance, param, 0);
    }
};

// The handle only names the voice: the mixer owns it, so a handle table torn
// down at exit cannot free a voice the mixing thread still reads.
class HostWaveOutObject final : public HostObject {
public:
    static constexpr HandleKind kKind = HandleKind::WaveOut;
    explicit HostWaveOutObject(Voice* voice) : HostObject(kKind), m_voice(voice) {}
    Voice* voice() const { return m_voice; }

private:
    Voice* m_voice;
};

struct Mixer {
    std::mutex lock;
    std::vector<Voice*> voices;
    std::vector<int16_t> captured;
    bool captureRequested = false;
    // Calling thread only.
    bool manual = false;
    bool backendChosen = false;
    bool failOpen = false;
    bool exitHookSet = false;
    SDL_AudioDeviceID device = 0;

    bool capturing() const { return manual || captureRequested; }
};

// Never destroyed: the mixing thread may still run while statics are torn down.
Mixer& mixer()
{
    static Mixer* m = new Mixer;
    return *m;
}

// Hands the head buffer back as done; the caller holds the lock.
void finishHead(Voice& voice)
{
    WAVEHDR* header = voice.head;
    voice.head = header->lpNext;
    if (!voice.head)
        voice.tail = nullptr;
    voice.played = 0;
    header->lpNext = nullptr;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    voice.notify(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
}

// Adds one voice's next samples to the block, finishing buffers as they run out.
void mixVoice(Voice& voice, int32_t* sum, uint32_t count)
{
    if (voice.paused)
        return;
    const int32_t gain = static_cast<int32_t>(voice.volume & kFullGain);
    uint32_t at = 0;
    while (WAVEHDR* header = voice.head) {
        const uint32_t length = header->dwBufferLength / kBytesPerSample;
        if (voice.played < length) {
            if (at == count)
                return;
            const uint32_t take = std::min(length - voice.played, count - at);
            const char* from = header->lpData + size_t(voice.played) * kBytesPerSample;
            for (uint32_t i = 0; i < take; ++i) {
                int16_t sample;
                std::memcpy(&sample, from + size_t(i) * kBytesPerSample, sizeof sample);
                sum[at + i] += sample * gain / int32_t(kFullGain);
            }
            at += take;
            voice.played += take;
            if (voice.played < length)
                return;
        }
        finishHead(voice);
    }
}

// Mixes count (at most kBlock) samples into out; the caller holds the lock.
void mixBlock(Mixer& m, int16_t* out, uint32_t count)
{
    int32_t sum[kBlock] = {};
    for (Voice* voice : m.voices)
        mixVoice(*voice, sum, count);
    for (uint32_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>(std::clamp<int32_t>(sum[i], INT16_MIN, INT16_MAX));
    if (m.capturing())
        m.captured.insert(m.captured.end(), out, out + count);
}

void SDLCALL fillDevice(void*, Uint8* stream, int length)
{
    Mixer& m = mixer();
    std::lock_guard<std::mutex> guard(m.lock);
    auto* out = reinterpret_cast<int16_t*>(stream);
    for (uint32_t left = uint32_t(length) / kBytesPerSample; left > 0;) {
        const uint32_t count = std::min(left, kBlock);
        mixBlock(m, out, count);
        out += count;
        left -= count;
    }
}

SDL_AudioDeviceID openDevice()
{
    // Audio brings up SDL's events, whose signal handlers would take SIGINT
    // from the program's own.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return 0;
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = kBlock;
    want.callback = fillDevice;
    // No changes allowed: SDL converts to whatever the hardware takes.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (!device)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return device;
}

void closeAtExit()
{
    hostAudioShutdown();
}

bool startBackend(Mixer& m)
{
    if (!m.backendChosen) {
        const char* backend = std::getenv(kBackendVariable);
        m.manual = backend && std::strcmp(backend, "manual") == 0;
        m.backendChosen = true;
    }
    if (m.manual || m.device)
        return true;
    SDL_AudioDeviceID device = openDevice();
    if (!device) {
        // No sound card: play into the dummy driver, in real time, rather
        // than refuse every sound.
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        device = openDevice();
        if (!device)
            return false;
    }
    m.device = device;
    if (!m.exitHookSet)
        m.exitHookSet = std::atexit(closeAtExit) == 0;
    SDL_PauseAudioDevice(device, 0);
    return true;
}

Voice* voiceOf(HWAVEOUT handle)
{
    HostWaveOutObject* object = hostHandleAs<HostWaveOutObject>(handle);
    return object ? object->voice() : nullptr;
}

bool headerUsable(const WAVEHDR* header, UINT size)
{
    return header && size >= sizeof(WAVEHDR) && (header->lpData || header->dwBufferLength == 0);
}

bool formatPlayable(const WAVEFORMATEX& f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.nSamplesPerSec == kRate
        && f.wBitsPerSample == 16 && f.nBlockAlign == kBytesPerSample
        && f.nAvgBytesPerSec == kRate * kBytesPerSample;
}

// Runs the call on a live voice under the mixer's lock.
template <class Call>
MMRESULT withVoice(HWAVEOUT handle, Call call)
{
    Voice* voice = voiceOf(handle);
    if (!voice)
        return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> guard(mixer().lock);
    return call(*voice);
}

} // namespace

MMRESULT waveOutOpen(HWAVEOUT* voiceOut, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags)
{
    if (!voiceOut || !format)
        return MMSYSERR_INVALPARAM;
    *voiceOut = nullptr;
    if (deviceId != WAVE_MAPPER && deviceId != 0)
        return MMSYSERR_BADDEVICEID;
    if (flags != CALLBACK_NULL && flags != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    if (!formatPlayable(*format))
        return WAVERR_BADFORMAT;
    Mixer& m = mixer();
    if (m.failOpen || !startBackend(m))
        return MMSYSERR_NODRIVER;

    auto voice = std::unique_ptr<Voice>(new (std::nothrow) Voice);
    if (!voice)
        return MMSYSERR_NOMEM;
    if (flags == CALLBACK_FUNCTION)
        voice->callback = reinterpret_cast<WaveOutProc>(callback);
    voice->instance = instance;
    voice->handle = hostCreateHandle(std::unique_ptr<HostObject>(new (std::nothrow) HostWaveOutObject(voice.get())));
    if (!voice->handle)
        return MMSYSERR_NOMEM;
    voice->notify(WOM_OPEN, 0);
    {
        std::lock_guard<std::mutex> guard(m.lock);
        m.voices.push_back(voice.get());
    }
    *voiceOut = voice.release()->handle;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT handle)
{
    Voice* voice = voiceOf(handle);
    if (!voice)
        return MMSYSERR_INVALHANDLE;
    Mixer& m = mixer();
    {
        std::lock_guard<std::mutex> guard(m.lock);
        if (voice->head)
            return WAVERR_STILLPLAYING;
        m.voices.erase(std::find(m.voices.begin(), m.voices.end(), voice));
    }
    // Out of the mixer's list, so this is the voice's last message.
    voice->notify(WOM_CLOSE, 0);
    hostCloseHandle(handle, HandleKind::WaveOut);
    delete voice;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT headerSize)
{
    return withVoice(handle, [&](Voice&) {
        if (!headerUsable(header, headerSize))
            return MMSYSERR_INVALPARAM;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT headerSize)
{
    return withVoice(handle, [&](Voice&) {
        if (!header || headerSize < sizeof(WAVEHDR))
            return MMSYSERR_INVALPARAM;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT headerSize)
{
    return withVoice(handle, [&](Voice& voice) {
        if (!headerUsable(header, headerSize))
            return MMSYSERR_INVALPARAM;
        if (!(header->dwFlags & WHDR_PREPARED))
            return WAVERR_UNPREPARED;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        header->lpNext = nullptr;
        (voice.tail ? voice.tail->lpNext : voice.head) = header;
        voice.tail = header;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutPause(HWAVEOUT handle)
{
    return withVoice(handle, [](Voice& voice) {
        voice.paused = true;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutRestart(HWAVEOUT handle)
{
    return withVoice(handle, [](Voice& voice) {
        voice.paused = false;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutReset(HWAVEOUT handle)
{
    return withVoice(handle, [](Voice& voice) {
        while (voice.head)
            finishHead(voice);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutSetVolume(HWAVEOUT handle, DWORD volume)
{
    return withVoice(handle, [&](Voice& voice) {
        voice.volume = volume;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutGetVolume(HWAVEOUT handle, DWORD* volume)
{
    return withVoice(handle, [&](Voice& voice) {
        if (!volume)
            return MMSYSERR_INVALPARAM;
        *volume = voice.volume;
        return MMSYSERR_NOERROR;
    });
}

bool hostAudioSetManual(bool manual)
{
    Mixer& m = mixer();
    {
        std::lock_guard<std::mutex> guard(m.lock);
        if (!m.voices.empty())
            return false;
    }
    if (manual)
        hostAudioShutdown();
    std::lock_guard<std::mutex> guard(m.lock);
    m.manual = manual;
    m.backendChosen = true;
    m.captured.clear();
    return true;
}

void hostAudioAdvance(DWORD ms)
{
    Mixer& m = mixer();
    if (!m.manual)
        return;
    std::lock_guard<std::mutex> guard(m.lock);
    int16_t block[kBlock];
    for (uint64_t left = uint64_t(ms) * kSamplesPerMs; left > 0;) {
        const uint32_t count = uint32_t(std::min<uint64_t>(left, kBlock));
        mixBlock(m, block, count);
        left -= count;
    }
}

void hostAudioSetCapture(bool capture)
{
    Mixer& m = mixer();
    std::lock_guard<std::mutex> guard(m.lock);
    m.captureRequested = capture;
    if (capture)
        m.captured.clear();
}

std::vector<int16_t> hostAudioCaptured()
{
    Mixer& m = mixer();
    std::lock_guard<std::mutex> guard(m.lock);
    return m.captured;
}

void hostAudioSetOpenFailure(bool fail)
{
    mixer().failOpen = fail;
}

void hostAudioShutdown()
{
    Mixer& m = mixer();
    if (!m.device)
        return;
    // Not under the lock: closing waits for the mixing thread, which may be
    // waiting for the lock.
    SDL_CloseAudioDevice(m.device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m.device = 0;
}
