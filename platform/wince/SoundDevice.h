// The platform's sound service: 16-bit mono PCM at 8000 Hz, each sound on its
// own waveform output voice so the device mixes them, under one master volume
// 0..10; and the vibrator, driven by a priority and a countdown stepped by the
// game's frames. Voice and vibration ids come from one counter.
#pragma once

#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"
#include "framework/util/IntrusiveList.h"

#include <cstdint>

class DataBlock;

// What the game asks of sound and vibration.
class SoundService : public Service {
public:
    static constexpr uint32_t kServiceId = ServiceId::SoundDevice;

    SoundService() : Service(kServiceId) {}
    // Clears the application's cached pointer when it names this service.
    ~SoundService() override;

    virtual void setSoundEnabled(int on) = 0;
    virtual void setVibrationEnabled(int on) = 0;
    virtual void setVolume(uint32_t volume) = 0;
    virtual int isSoundEnabled() = 0;
    virtual int isVibrationEnabled() = 0;
    virtual uint32_t getVolume() = 0;
    // Id 0 asks about any voice or vibration.
    virtual int isPlaying(uint32_t id) = 0;
    virtual int isVibrating(uint32_t id) = 0;
    // The sample's bytes are PCM and must outlive the voice. The second
    // argument means nothing on this platform. A new voice id, or 0.
    virtual uint32_t play(const DataBlock* sample, uint32_t unused, uint32_t tag) = 0;
    virtual void stop(uint32_t id) = 0;
    // A lower priority value wins. A new vibration id, or 0 when refused.
    virtual uint32_t vibrate(int32_t durationMs, int32_t priority) = 0;
    virtual void stopVibrate(uint32_t id) = 0;
    virtual void pauseAll() = 0;
    virtual void resumeAll() = 0;
    // Once a frame: frees finished voices and counts the vibration down.
    virtual void update(uint32_t stepMs) = 0;
};

class SoundDevice final : public SoundService {
public:
    static constexpr uint32_t kMaxVolume = 10;

    SoundDevice() = default;
    // Stops every voice and the vibration.
    ~SoundDevice() override;

    void setSoundEnabled(int on) override;
    void setVibrationEnabled(int on) override;
    void setVolume(uint32_t volume) override;
    int isSoundEnabled() override { return m_soundEnabled; }
    int isVibrationEnabled() override { return m_vibrationEnabled; }
    uint32_t getVolume() override { return m_volume; }
    int isPlaying(uint32_t id) override;
    int isVibrating(uint32_t id) override;
    uint32_t play(const DataBlock* sample, uint32_t unused, uint32_t tag) override;
    void stop(uint32_t id) override;
    uint32_t vibrate(int32_t durationMs, int32_t priority) override;
    void stopVibrate(uint32_t id) override;
    void pauseAll() override;
    void resumeAll() override;
    void update(uint32_t stepMs) override;

private:
    uint8_t m_soundEnabled = 1;
    uint8_t m_vibrationEnabled = 1;
    uint8_t m_volume = kMaxVolume;
    uint32_t m_idCounter = 0;
    IntrusiveList m_voices; // of SoundVoice
    uint32_t m_vibrationId = 0;
    int32_t m_vibrationPriority = -1;
    int32_t m_vibrationLeftMs = 0;
    uint8_t m_vibrating = 0;
};

// The word waveOutSetVolume takes for a master volume 0..10, both channels.
uint32_t soundVolumeWord(uint32_t volume);

// Makes the sound device (which registers itself); null when memory runs out.
SoundDevice* createSoundDevice();
// The application's sound service, made on first use and cached in it.
SoundService* getSound();
// Lets getSound make the sound device.
void installSoundDeviceCreator();
