// Fonts for the gdi and D3DX stand-ins: fontconfig finds a face by family and weight,
// FreeType opens it once, and the printable ASCII glyphs of one size are rendered once
// into a GlyphSet that both text paths draw from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fonts {

// A font as CreateFontA describes it.
struct FontRequest {
    std::string family; // face name; empty for the system's default family
    int height = 0;     // <0: em height of -height px; >0: cell height (ascent + descent); 0: 12 px em
    int weight = 400;   // 100 to 900, 0 for normal
    bool italic = false;
};

// One glyph: an 8-bit coverage mask (rows packed, pitch = width) placed against the pen.
struct Glyph {
    int left = 0;    // mask column 0 lies this many pixels right of the pen
    int top = 0;     // mask row 0 lies this many pixels above the baseline
    int width = 0;   // mask size; 0 for glyphs without ink (space)
    int rows = 0;
    int advance = 0; // whole pixels the pen moves on
    std::uint32_t offset = 0; // where the mask starts in the set's store
};

// The glyphs of one font at one size, indexed by byte. Bytes without a glyph have no ink
// and no advance. Copyable: a copy no longer depends on where it came from.
class GlyphSet {
public:
    void SetLineMetrics(int ascent, int descent);
    // Stores a copy of a glyph's mask: mask points at its top row, pitch is the (signed)
    // offset from one row to the row below.
    void SetGlyph(unsigned char c, const Glyph& metrics, const std::uint8_t* mask, int pitch);

    int Ascent() const { return ascent_; }
    int Descent() const { return descent_; }
    // Line height: the cell height (Windows' tmHeight).
    int Height() const { return ascent_ + descent_; }
    bool HasInk() const { return !masks_.empty(); }

    const Glyph& Get(unsigned char c) const { return glyphs_[c]; }
    const std::uint8_t* Mask(const Glyph& glyph) const { return masks_.data() + glyph.offset; }
    // Sum of the advances of count bytes.
    int TextWidth(const char* text, int count) const;

private:
    int ascent_ = 0;
    int descent_ = 0;
    Glyph glyphs_[256] = {};
    std::vector<std::uint8_t> masks_;
};

// Matches, opens (once per file) and renders the font. With no usable font at all the set
// has line metrics from the requested size but no ink; the reason is said once on stderr.
GlyphSet RenderGlyphSet(const FontRequest& request);

// The face a request is drawn with, as "family style" from the font file ("DejaVu Sans
// Book"); empty when there is none. Lets a test that pins text pixels know what drew them.
std::string FaceName(const FontRequest& request);

// The FreeType library's version, "major.minor.patch"; empty when it cannot start.
std::string FreeTypeVersion();

} // namespace fonts
