// Lines of a centred text block cut one at a time: the pause screen's way of
// filling three quarters of the screen, a word at the edge carried whole.
#pragma once

#include <cstdint>

class FontBase;

// The characters of the next line: as many as fit fitWidth, carried on to
// the end of the word they stop in while the line still fits maxWidth. A
// word wider than maxWidth is cut where it stops fitting; at least one
// character goes while any is left, so a caller's loop always ends.
int32_t nextLineRun(const FontBase& font, const char16_t* text, int32_t length, int32_t fitWidth, int32_t maxWidth);
