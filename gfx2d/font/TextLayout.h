// Breaks a UTF-16 text into lines that fit a pixel width with a given font.
// It does not draw: each line is a start index and a length in the text, and
// the caller draws the lines with the font.
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"
#include "framework/util/DynArray.h"

class FontBase;

class TextLayout : public HashedObject {
public:
    TextLayout();

    // Set before layout; neither is owned, and the text must outlive the layout.
    FontBase* font = nullptr;
    const char16_t* text = nullptr;
    int width = 0;

    // 0, or the line array's error code of the first append that failed.
    int layout();
    void clear();

    int lineCount() const { return m_lineCount; }
    // 0 for an index past the lines.
    uint32_t lineStart(int line) const;
    uint32_t lineLength(int line) const;
    // Points into the text at the line's start; the text itself for an index
    // past the lines.
    const char16_t* lineText(int line) const;
    // Characters the layout's own searches looked at so far (the font counts
    // its lookups): a count of work that tests read.
    uint64_t scanned() const { return m_scanned; }

private:
    uint32_t entry(int line) const;
    int appendLine(uint32_t start, uint32_t length);

    int m_lineCount = 0;
    DynArray m_lines;  // (start << 16) | length
    uint64_t m_scanned = 0;
};
