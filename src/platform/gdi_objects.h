// The gdi stand-in's object records, shared by its drawing and text files and by the
// D3DX font, which copies a GDI font's glyphs.
#pragma once

#include <memory>
#include <vector>

#include "platform/fonts.h"
#include "platform/gdi.h"

namespace gdi {

enum class ObjectKind : std::uint8_t { Bitmap, Pen, Brush, Font };

// One pen, brush, font or bitmap. Fields beyond kind are read only for their kind.
struct Object {
    ObjectKind kind = ObjectKind::Pen;
    bool stock = false;   // made by the stand-in itself; deleting it does nothing
    bool deleted = false; // DeleteObject was called; freed once no DC selects it
    int selections = 0;   // DCs that have it selected

    int width = 0;                 // bitmap size in pixels
    int height = 0;
    std::vector<COLORREF> pixels;  // bitmap pixels, rows packed, as GetPixel returns them

    COLORREF colour = 0;           // pen or brush colour

    fonts::FontRequest font;                  // the font as asked for
    std::unique_ptr<fonts::GlyphSet> glyphs;  // rendered at creation (stock font: first use)
};

// A memory DC: the objects selected into it and its text and drawing state.
struct DeviceContext {
    HGDIOBJ bitmap = nullptr;
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ font = nullptr;
    POINT position = {0, 0};      // current position for LineTo
    COLORREF textColour = 0;      // black, as a new DC has
    int backgroundMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
};

// Takes the object into the handle space and returns its handle.
HGDIOBJ AddObject(std::unique_ptr<Object> object);
// A live object of that kind, not deleted; null for anything else.
Object* FindObject(HGDIOBJ handle, ObjectKind kind);
// An object a DC has selected: it may have been deleted meanwhile and is still usable.
Object* SelectedObject(HGDIOBJ handle);
DeviceContext* FindDC(HDC dc);
// The bitmap selected into a DC.
Object* BitmapOf(const DeviceContext& dc);

// The glyphs of a font object, rendering them first where they are not yet.
const fonts::GlyphSet& GlyphsOf(Object& font);

} // namespace gdi
