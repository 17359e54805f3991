// Text layout of the D3DX font: line breaking and alignment.
#include "gfxutil/text_layout.h"

#include <cstring>

namespace gfxutil {

int TextLength(const char* text, int count) {
    if (text == nullptr) {
        return 0;
    }
    return count < 0 ? static_cast<int>(std::strlen(text)) : count;
}

namespace {

bool IsBreak(char c) { return c == '\n' || c == '\r'; }

int BreakLength(const char* text, int length, int at) {
    return text[at] == '\r' && at + 1 < length && text[at + 1] == '\n' ? 2 : 1;
}

} // namespace

TextLine NextLine(const fonts::GlyphSet& glyphs, const char* text, int length, int pos,
                  int maxWidth, DWORD format) {
    const bool single = (format & DT_SINGLELINE) != 0;
    const bool wrap = (format & DT_WORDBREAK) != 0 && !single;
    // The last place the line could wrap: the end of a word followed by spaces.
    int wrapEnd = -1;
    int wrapNext = -1;
    int wrapWidth = 0;
    int pen = 0;
    int i = pos;
    while (i < length) {
        if (!single && IsBreak(text[i])) {
            return {pos, i, i + BreakLength(text, length, i), pen};
        }
        if (wrap && text[i] == ' ') {
            // Spaces at a line's start are kept; spaces where it wraps are dropped.
            if (i > pos) {
                wrapEnd = i;
                wrapWidth = pen;
            }
            for (; i < length && text[i] == ' '; ++i) {
                pen += glyphs.Get(' ').advance;
            }
            if (wrapEnd >= 0) {
                wrapNext = i;
            }
            continue;
        }
        const int advance = glyphs.Get(static_cast<unsigned char>(text[i])).advance;
        if (wrap && wrapEnd >= 0 && pen + advance > maxWidth) {
            return {pos, wrapEnd, wrapNext, wrapWidth};
        }
        pen += advance;
        ++i;
    }
    return {pos, length, length, pen};
}

TextExtent MeasureText(const fonts::GlyphSet& glyphs, const char* text, int length,
                       int maxWidth, DWORD format) {
    TextExtent extent;
    for (int pos = 0; pos < length;) {
        const TextLine line = NextLine(glyphs, text, length, pos, maxWidth, format);
        ++extent.lines;
        extent.width = line.width > extent.width ? line.width : extent.width;
        pos = line.next;
    }
    return extent;
}

int BlockTop(const RECT& rect, int height, DWORD format) {
    if ((format & DT_VCENTER) != 0) {
        return rect.top + (rect.bottom - rect.top - height) / 2;
    }
    if ((format & DT_BOTTOM) != 0) {
        return rect.bottom - height;
    }
    return rect.top;
}

int LineLeft(const RECT& rect, int width, DWORD format) {
    if ((format & DT_CENTER) != 0) {
        return rect.left + (rect.right - rect.left - width) / 2;
    }
    if ((format & DT_RIGHT) != 0) {
        return rect.right - width;
    }
    return rect.left;
}

} // namespace gfxutil
