// Waveform audio output: each open handle is a voice that plays queued PCM
// buffers; every voice is mixed into one SDL audio device by its gain, with
// saturation. The caller's callback hears WOM_OPEN and WOM_CLOSE on the
// calling thread and WOM_DONE on the mixing thread, and never after close.
#pragma once

#include "platform/host/HostTypes.h"

#include <vector>

using HWAVEOUT = HANDLE;
using MMRESULT = UINT;
using DWORD_PTR = uintptr_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr UINT WAVE_MAPPER = 0xFFFFFFFF;
constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr DWORD CALLBACK_NULL = 0x00000;
constexpr DWORD CALLBACK_FUNCTION = 0x30000;

// Messages of the voice callback.
constexpr UINT WOM_OPEN = 0x3BB;
constexpr UINT WOM_CLOSE = 0x3BC;
constexpr UINT WOM_DONE = 0x3BD;

// Header flags.
constexpr DWORD WHDR_DONE = 0x01;
constexpr DWORD WHDR_PREPARED = 0x02;
constexpr DWORD WHDR_INQUEUE = 0x10;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

// One buffer handed to a voice. The caller owns it and must keep it alive
// and untouched from waveOutWrite until WHDR_DONE is set.
struct WAVEHDR {
    char* lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext; // the voice's queue link
    DWORD_PTR reserved;
};

// param1 is the finished header for WOM_DONE. A callback must not call back
// into the waveOut functions: it runs while the mixer holds its lock.
using WaveOutProc = void (*)(HWAVEOUT voice, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

// The one device plays 16-bit mono PCM at 8000 samples a second; any other
// format is refused with WAVERR_BADFORMAT. callback is a WaveOutProc.
MMRESULT waveOutOpen(HWAVEOUT* voice, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags);
// WAVERR_STILLPLAYING while buffers are queued.
MMRESULT waveOutClose(HWAVEOUT voice);
MMRESULT waveOutPrepareHeader(HWAVEOUT voice, WAVEHDR* header, UINT headerSize);
MMRESULT waveOutUnprepareHeader(HWAVEOUT voice, WAVEHDR* header, UINT headerSize);
MMRESULT waveOutWrite(HWAVEOUT voice, WAVEHDR* header, UINT headerSize);
// The voice holds its position until restarted.
MMRESULT waveOutPause(HWAVEOUT voice);
MMRESULT waveOutRestart(HWAVEOUT voice);
// Returns every queued buffer as done, WOM_DONE for each, on the calling thread.
MMRESULT waveOutReset(HWAVEOUT voice);
// Low word left, high word right, 0xFFFF full; a mono device plays the left.
MMRESULT waveOutSetVolume(HWAVEOUT voice, DWORD volume);
MMRESULT waveOutGetVolume(HWAVEOUT voice, DWORD* volume);

// Test hooks. The manual backend opens no device: the mixer runs only when
// hostAudioAdvance moves its clock, WOM_DONE arrives within that call, and the
// mixed output is captured. PENNYFALL_AUDIO=manual chooses it at the first
// open; the hook switches while no voice is open (false otherwise).
bool hostAudioSetManual(bool manual);
// Mixes 8 samples per millisecond on the manual backend; nothing otherwise.
void hostAudioAdvance(DWORD ms);
// Keeps (true, emptied first) or stops keeping the mixed output; the manual
// backend always keeps it.
void hostAudioSetCapture(bool capture);
// The mixed output kept so far, oldest first, left in place.
std::vector<int16_t> hostAudioCaptured();
// Makes every waveOutOpen fail with MMSYSERR_NODRIVER.
void hostAudioSetOpenFailure(bool fail);
// Closes the SDL device; the next open starts it again.
void hostAudioShutdown();
