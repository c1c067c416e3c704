// Sound service double for shell tests: voices stay "playing" until the
// test ends them, and every stop is recorded.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "platform/wince/SoundDevice.h"

struct FakeSound : SoundService {
    uint8_t on = 1;
    uint8_t vibration = 1;
    uint32_t volume = 4;
    uint32_t next = 0;
    std::set<uint32_t> playing;
    std::vector<uint32_t> stops;
    int pauses = 0;
    int resumes = 0;
    int vibrationStops = 0;

    void setSoundEnabled(int o) override { on = o ? 1 : 0; }
    void setVibrationEnabled(int o) override { vibration = o ? 1 : 0; }
    void setVolume(uint32_t v) override { volume = v; }
    int isSoundEnabled() override { return on; }
    int isVibrationEnabled() override { return 0; }
    uint32_t getVolume() override { return volume; }
    int isPlaying(uint32_t id) override { return id == 0 ? !playing.empty() : playing.count(id) != 0; }
    int isVibrating(uint32_t) override { return 0; }
    uint32_t play(const DataBlock* sample, uint32_t, uint32_t) override
    {
        if (!on || !sample)
            return 0;
        playing.insert(++next);
        return next;
    }
    void stop(uint32_t id) override
    {
        stops.push_back(id);
        if (id == 0)
            playing.clear();
        playing.erase(id);
    }
    uint32_t vibrate(int32_t, int32_t) override { return 0; }
    void stopVibrate(uint32_t) override { ++vibrationStops; }
    void pauseAll() override { ++pauses; }
    void resumeAll() override { ++resumes; }
    void update(uint32_t) override {}
};
