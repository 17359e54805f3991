// gdi stand-in: fonts and TextOutA, anti-aliased glyphs blended over the DC's bitmap.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/gdi_objects.h"

namespace gdi {
namespace {

// Windows keeps at most 31 characters of a face name (LF_FACESIZE).
constexpr std::size_t kFaceNameLength = 31;
// The background an OPAQUE DC paints behind text: a new DC's white.
constexpr COLORREF kBackground = 0xFFFFFF;
constexpr UINT kHorizontalAlign = TA_CENTER;   // the TA_LEFT/TA_RIGHT/TA_CENTER bits
constexpr UINT kVerticalAlign = TA_BASELINE;   // the TA_TOP/TA_BOTTOM/TA_BASELINE bits

BYTE Mix(unsigned over, unsigned under, unsigned coverage) {
    return static_cast<BYTE>((over * coverage + under * (255 - coverage) + 127) / 255);
}

COLORREF Blend(COLORREF under, COLORREF over, unsigned coverage) {
    return RGB(Mix(GetRValue(over), GetRValue(under), coverage),
               Mix(GetGValue(over), GetGValue(under), coverage),
               Mix(GetBValue(over), GetBValue(under), coverage));
}

// Blends one glyph's mask with its top-left on (x, y), clipped to the bitmap.
void BlendGlyph(Object& bitmap, const fonts::GlyphSet& glyphs, const fonts::Glyph& glyph,
                std::int64_t x, std::int64_t y, COLORREF colour) {
    const std::uint8_t* mask = glyphs.Mask(glyph);
    const std::int64_t firstRow = std::max<std::int64_t>(0, -y);
    const std::int64_t lastRow = std::min<std::int64_t>(glyph.rows, bitmap.height - y);
    const std::int64_t firstColumn = std::max<std::int64_t>(0, -x);
    const std::int64_t lastColumn = std::min<std::int64_t>(glyph.width, bitmap.width - x);
    for (std::int64_t row = firstRow; row < lastRow; ++row) {
        COLORREF* out = bitmap.pixels.data() + (y + row) * bitmap.width;
        const std::uint8_t* in = mask + row * glyph.width;
        for (std::int64_t column = firstColumn; column < lastColumn; ++column) {
            if (in[column] != 0) {
                out[x + column] = Blend(out[x + column], colour, in[column]);
            }
        }
    }
}

void FillBackground(Object& bitmap, std::int64_t left, std::int64_t top, std::int64_t right,
                    std::int64_t bottom) {
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, 0);
    right = std::min<std::int64_t>(right, bitmap.width);
    bottom = std::min<std::int64_t>(bottom, bitmap.height);
    for (std::int64_t y = top; y < bottom && left < right; ++y) {
        COLORREF* row = bitmap.pixels.data() + y * bitmap.width;
        std::fill(row + left, row + right, kBackground);
    }
}

// Where the pen starts and where the baseline lies for the DC's text alignment.
void Anchor(const DeviceContext& dc, const fonts::GlyphSet& glyphs, int width, int x, int y,
            std::int64_t& pen, std::int64_t& baseline) {
    switch (dc.textAlign & kHorizontalAlign) {
    case TA_RIGHT:
        pen = std::int64_t{x} - width;
        break;
    case TA_CENTER:
        pen = std::int64_t{x} - width / 2;
        break;
    default:
        pen = x;
        break;
    }
    switch (dc.textAlign & kVerticalAlign) {
    case TA_BASELINE:
        baseline = y;
        break;
    case TA_BOTTOM:
        baseline = std::int64_t{y} - glyphs.Descent();
        break;
    default:
        baseline = std::int64_t{y} + glyphs.Ascent();
        break;
    }
}

} // namespace

const fonts::GlyphSet& GlyphsOf(Object& font) {
    if (!font.glyphs) {
        font.glyphs = std::make_unique<fonts::GlyphSet>(fonts::RenderGlyphSet(font.font));
    }
    return *font.glyphs;
}

} // namespace gdi

using gdi::DeviceContext;
using gdi::Object;

HFONT CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD, DWORD,
                  DWORD, DWORD, DWORD, LPCSTR faceName) {
    // Width, escapement, orientation, underline, strike-out, character set, precision,
    // quality and pitch change nothing here: text is always upright, anti-aliased ASCII.
    auto font = std::make_unique<Object>();
    font->kind = gdi::ObjectKind::Font;
    if (faceName != nullptr) {
        font->font.family.assign(faceName, strnlen(faceName, gdi::kFaceNameLength));
    }
    font->font.height = height;
    font->font.weight = weight;
    font->font.italic = italic != 0;
    gdi::GlyphsOf(*font);
    return gdi::AddObject(std::move(font));
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
    DeviceContext* context = gdi::FindDC(dc);
    if (context == nullptr) {
        return CLR_INVALID;
    }
    return std::exchange(context->textColour, colour & 0x00FFFFFF);
}

int SetBkMode(HDC dc, int mode) {
    DeviceContext* context = gdi::FindDC(dc);
    if (context == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) {
        return 0;
    }
    return std::exchange(context->backgroundMode, mode);
}

UINT SetTextAlign(HDC dc, UINT align) {
    DeviceContext* context = gdi::FindDC(dc);
    if (context == nullptr) {
        return 0xFFFFFFFFu; // GDI_ERROR
    }
    return std::exchange(context->textAlign, align);
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    DeviceContext* context = gdi::FindDC(dc);
    if (context == nullptr || length < 0 || (text == nullptr && length > 0)) {
        return FALSE;
    }
    Object* bitmap = gdi::BitmapOf(*context);
    Object* font = gdi::SelectedObject(context->font);
    if (bitmap == nullptr || font == nullptr) {
        return FALSE;
    }
    const fonts::GlyphSet& glyphs = gdi::GlyphsOf(*font);
    const int width = glyphs.TextWidth(text, length);
    std::int64_t pen = 0;
    std::int64_t baseline = 0;
    gdi::Anchor(*context, glyphs, width, x, y, pen, baseline);
    if (context->backgroundMode == OPAQUE) {
        gdi::FillBackground(*bitmap, pen, baseline - glyphs.Ascent(), pen + width,
                            baseline + glyphs.Descent());
    }
    for (int i = 0; i < length; ++i) {
        const fonts::Glyph& glyph = glyphs.Get(static_cast<unsigned char>(text[i]));
        if (glyph.width > 0) {
            gdi::BlendGlyph(*bitmap, glyphs, glyph, pen + glyph.left, baseline - glyph.top,
                            context->textColour);
        }
        pen += glyph.advance;
    }
    return TRUE;
}
