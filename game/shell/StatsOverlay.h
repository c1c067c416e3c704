// The frame-rate box the application draws in the screen's lower right
// quarter when the overlay runs in frame mode, and the rectangle fill the
// shell draws boxes with.
#pragma once

#include <cstdint>

#include "framework/events/TaskGroup.h"

// Fills {x, y, width, height} through the drawing context.
void fillRectangle(const int16_t* rect, uint32_t argb);

class StatsOverlay : public TaskGroup {
public:
    static constexpr int16_t kBoxWidth = 30;
    static constexpr uint32_t kBoxColour = 0xFF000000;

    void onFrame(uint32_t amount, const TickInfo& tick) override;
    // Draws the box for a frame surface of width x height.
    void draw(uint32_t width, uint32_t height);

    int16_t m_rect[2] = {};  // where the box was last drawn
    int16_t m_lineHeight = 0;
    // Also list each section's ratio below the box.
    uint8_t m_showSections = 0;
};
