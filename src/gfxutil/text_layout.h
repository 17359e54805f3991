// Text layout of the D3DX font: DrawText's line breaks, word breaks and alignment turned
// into glyph placements, apart from any drawing so that it can be checked on its own.
#pragma once

#include "gfxutil/d3dx8.h"
#include "platform/fonts.h"

namespace gfxutil {

// One line of a text block: bytes [begin, end) are drawn and the next line starts at next.
struct TextLine {
    int begin = 0;
    int end = 0;
    int next = 0;
    int width = 0; // the advances of [begin, end)
};

// The size of a laid-out block.
struct TextExtent {
    int lines = 0;
    int width = 0; // the widest line
};

// One byte as placed: its pen position on the baseline and its mask's top-left.
struct PlacedGlyph {
    int penX = 0;
    int baseline = 0;
    int x = 0;
    int y = 0;
    unsigned char c = 0;
    const fonts::Glyph* glyph = nullptr;
};

// The number of bytes to lay out: count, or up to the terminating zero when count < 0.
int TextLength(const char* text, int count);

// The line that starts at pos. It ends at a line break (\n, \r or \r\n; none with
// DT_SINGLELINE) or, with DT_WORDBREAK, before the first word that would cross maxWidth;
// a word wider than maxWidth on its own stays whole. A break after the last line starts
// no further line.
TextLine NextLine(const fonts::GlyphSet& glyphs, const char* text, int length, int pos,
                  int maxWidth, DWORD format);

TextExtent MeasureText(const fonts::GlyphSet& glyphs, const char* text, int length,
                       int maxWidth, DWORD format);

// Top of a block of the given height: DT_VCENTER and DT_BOTTOM place the whole block.
int BlockTop(const RECT& rect, int height, DWORD format);
// Left end of a line of the given width for DT_LEFT, DT_CENTER or DT_RIGHT.
int LineLeft(const RECT& rect, int width, DWORD format);

// Lays text out in rect as DrawText does and calls place(const PlacedGlyph&) for every
// byte drawn, in order. Returns the height of the block: lines x the font's cell height.
// Allocates nothing.
template <class Place>
int LayoutText(const fonts::GlyphSet& glyphs, const char* text, int count, const RECT& rect,
               DWORD format, Place&& place) {
    const int length = TextLength(text, count);
    const int maxWidth = rect.right - rect.left;
    const TextExtent extent = MeasureText(glyphs, text, length, maxWidth, format);
    const int lineHeight = glyphs.Height();
    const int height = extent.lines * lineHeight;
    const int top = BlockTop(rect, height, format);
    int pos = 0;
    for (int line = 0; line < extent.lines; ++line) {
        const TextLine span = NextLine(glyphs, text, length, pos, maxWidth, format);
        PlacedGlyph placed;
        placed.penX = LineLeft(rect, span.width, format);
        placed.baseline = top + line * lineHeight + glyphs.Ascent();
        for (int i = span.begin; i < span.end; ++i) {
            placed.c = static_cast<unsigned char>(text[i]);
            placed.glyph = &glyphs.Get(placed.c);
            placed.x = placed.penX + placed.glyph->left;
            placed.y = placed.baseline - placed.glyph->top;
            place(static_cast<const PlacedGlyph&>(placed));
            placed.penX += placed.glyph->advance;
        }
        pos = span.next;
    }
    return height;
}

} // namespace gfxutil
