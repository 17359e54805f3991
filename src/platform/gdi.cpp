// gdi stand-in: handles, memory DCs, bitmaps, pens, brushes, lines and rectangles.
// Handles are numbers never reused, so a stale or made-up handle is simply not found.
#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <utility>

#include "platform/gdi_objects.h"

namespace gdi {
namespace {

constexpr int kScreenDpi = 96;
// The largest bitmap side and area CreateBitmap accepts.
constexpr int kLargestSide = 16384;
constexpr std::int64_t kLargestArea = std::int64_t{1} << 26;
constexpr COLORREF kColourBits = 0x00FFFFFF;

std::uintptr_t Key(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

std::unique_ptr<Object> MakeObject(ObjectKind kind, COLORREF colour) {
    auto object = std::make_unique<Object>();
    object->kind = kind;
    object->colour = colour & kColourBits;
    return object;
}

// Every object and DC alive, plus the stock objects a new DC starts with (a 1x1 bitmap,
// a black pen, a white brush and a plain font), as Windows gives them.
struct Registry {
    std::uintptr_t nextHandle = 0x100;
    std::unordered_map<std::uintptr_t, std::unique_ptr<Object>> objects;
    std::unordered_map<std::uintptr_t, std::unique_ptr<DeviceContext>> dcs;
    HGDIOBJ stock[4] = {};

    Registry() {
        auto bitmap = MakeObject(ObjectKind::Bitmap, 0);
        bitmap->width = 1;
        bitmap->height = 1;
        bitmap->pixels.assign(1, 0);
        auto font = MakeObject(ObjectKind::Font, 0);
        font->font.family = "sans-serif";
        std::unique_ptr<Object> made[4] = {std::move(bitmap), MakeObject(ObjectKind::Pen, 0),
                                           MakeObject(ObjectKind::Brush, 0xFFFFFF),
                                           std::move(font)};
        for (int i = 0; i < 4; ++i) {
            made[i]->stock = true;
            stock[i] = Add(std::move(made[i]));
        }
    }

    std::uintptr_t NewHandle() { return nextHandle++; }

    HGDIOBJ Add(std::unique_ptr<Object> object) {
        const std::uintptr_t handle = NewHandle();
        objects.emplace(handle, std::move(object));
        return reinterpret_cast<HGDIOBJ>(handle);
    }
};

Registry& Reg() {
    static Registry registry;
    return registry;
}

Object* AnyLiveObject(HGDIOBJ handle) {
    const auto found = Reg().objects.find(Key(handle));
    if (found == Reg().objects.end() || found->second->deleted) {
        return nullptr;
    }
    return found->second.get();
}

// A DC lets go of an object; a deleted object goes once nothing holds it.
void Unselect(HGDIOBJ handle) {
    auto& objects = Reg().objects;
    const auto found = objects.find(Key(handle));
    if (found == objects.end()) {
        return;
    }
    Object& object = *found->second;
    --object.selections;
    if (object.deleted && object.selections <= 0) {
        objects.erase(found);
    }
}

HGDIOBJ& SlotFor(DeviceContext& dc, ObjectKind kind) {
    switch (kind) {
    case ObjectKind::Bitmap:
        return dc.bitmap;
    case ObjectKind::Pen:
        return dc.pen;
    case ObjectKind::Brush:
        return dc.brush;
    case ObjectKind::Font:
        break;
    }
    return dc.font;
}

COLORREF ColourOf(HGDIOBJ handle) {
    const Object* object = SelectedObject(handle);
    return object != nullptr ? object->colour : 0;
}

void PutPixel(Object& bitmap, std::int64_t x, std::int64_t y, COLORREF colour) {
    if (x >= 0 && y >= 0 && x < bitmap.width && y < bitmap.height) {
        bitmap.pixels[static_cast<std::size_t>(y * bitmap.width + x)] = colour;
    }
}

// Fills columns left..right-1 and rows top..bottom-1, clipped to the bitmap.
void FillBox(Object& bitmap, std::int64_t left, std::int64_t top, std::int64_t right,
             std::int64_t bottom, COLORREF colour) {
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, 0);
    right = std::min<std::int64_t>(right, bitmap.width);
    bottom = std::min<std::int64_t>(bottom, bitmap.height);
    if (right <= left) {
        return;
    }
    for (std::int64_t y = top; y < bottom; ++y) {
        COLORREF* row = bitmap.pixels.data() + y * bitmap.width;
        std::fill(row + left, row + right, colour);
    }
}

std::int64_t FloorDiv(__int128 a, __int128 b) {
    const __int128 q = a / b;
    return static_cast<std::int64_t>((a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q);
}

// A Bresenham line from (x0, y0) towards (x1, y1) that leaves out the end point, as GDI
// does. Step k along the major axis lands on the minor offset round(k * dMinor / steps);
// only the steps whose major coordinate lies inside the bitmap are walked, so far-off
// end points cost nothing.
void DrawLine(Object& bitmap, int x0, int y0, int x1, int y1, COLORREF colour) {
    const std::int64_t dx = std::int64_t{x1} - x0;
    const std::int64_t dy = std::int64_t{y1} - y0;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const std::int64_t steps = xMajor ? std::llabs(dx) : std::llabs(dy);
    if (steps == 0) {
        return;
    }
    const std::int64_t start = xMajor ? x0 : y0;
    const std::int64_t along = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const std::int64_t minorStart = xMajor ? y0 : x0;
    const std::int64_t minorDelta = xMajor ? dy : dx;
    const std::int64_t size = xMajor ? bitmap.width : bitmap.height;
    std::int64_t first = 0;
    std::int64_t last = steps - 1;
    if (along > 0) {
        first = std::max(first, -start);
        last = std::min(last, size - 1 - start);
    } else {
        first = std::max(first, start - (size - 1));
        last = std::min(last, start);
    }
    for (std::int64_t k = first; k <= last; ++k) {
        const std::int64_t minor =
            minorStart + FloorDiv(__int128{2} * k * minorDelta + steps, __int128{2} * steps);
        const std::int64_t major = start + along * k;
        PutPixel(bitmap, xMajor ? major : minor, xMajor ? minor : major, colour);
    }
}

} // namespace

HGDIOBJ AddObject(std::unique_ptr<Object> object) { return Reg().Add(std::move(object)); }

Object* FindObject(HGDIOBJ handle, ObjectKind kind) {
    Object* object = AnyLiveObject(handle);
    return object != nullptr && object->kind == kind ? object : nullptr;
}

Object* SelectedObject(HGDIOBJ handle) {
    const auto found = Reg().objects.find(Key(handle));
    return found != Reg().objects.end() ? found->second.get() : nullptr;
}

DeviceContext* FindDC(HDC dc) {
    const auto found = Reg().dcs.find(Key(dc));
    return found != Reg().dcs.end() ? found->second.get() : nullptr;
}

Object* BitmapOf(const DeviceContext& dc) {
    Object* bitmap = SelectedObject(dc.bitmap);
    return bitmap != nullptr && bitmap->kind == ObjectKind::Bitmap ? bitmap : nullptr;
}

} // namespace gdi

using gdi::DeviceContext;
using gdi::Object;
using gdi::ObjectKind;

HDC CreateCompatibleDC(HDC reference) {
    if (reference != nullptr && gdi::FindDC(reference) == nullptr) {
        return nullptr;
    }
    auto& registry = gdi::Reg();
    auto dc = std::make_unique<DeviceContext>();
    HGDIOBJ* slots[4] = {&dc->bitmap, &dc->pen, &dc->brush, &dc->font};
    for (int i = 0; i < 4; ++i) {
        *slots[i] = registry.stock[i];
        ++gdi::SelectedObject(registry.stock[i])->selections;
    }
    const std::uintptr_t handle = registry.NewHandle();
    registry.dcs.emplace(handle, std::move(dc));
    return reinterpret_cast<HDC>(handle);
}

BOOL DeleteDC(HDC dc) {
    DeviceContext* context = gdi::FindDC(dc);
    if (context == nullptr) {
        return FALSE;
    }
    for (HGDIOBJ selected : {context->bitmap, context->pen, context->brush, context->font}) {
        gdi::Unselect(selected);
    }
    gdi::Reg().dcs.erase(gdi::Key(dc));
    return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
    if (gdi::FindDC(dc) == nullptr) {
        return 0;
    }
    return index == LOGPIXELSX || index == LOGPIXELSY ? gdi::kScreenDpi : 0;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (planes != 1 || bitsPerPixel != 32 || width <= 0 || height <= 0 ||
        width > gdi::kLargestSide || height > gdi::kLargestSide ||
        std::int64_t{width} * height > gdi::kLargestArea) {
        return nullptr;
    }
    auto bitmap = gdi::MakeObject(ObjectKind::Bitmap, 0);
    bitmap->width = width;
    bitmap->height = height;
    bitmap->pixels.assign(static_cast<std::size_t>(width) * height, 0);
    // Initial bits are 32-bit B, G, R, unused bytes per pixel, rows packed.
    if (bits != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(bits);
        for (std::size_t i = 0; i < bitmap->pixels.size(); ++i) {
            bitmap->pixels[i] = RGB(bytes[4 * i + 2], bytes[4 * i + 1], bytes[4 * i]);
        }
    }
    return gdi::AddObject(std::move(bitmap));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    DeviceContext* context = gdi::FindDC(dc);
    Object* target = context != nullptr ? gdi::AnyLiveObject(object) : nullptr;
    if (target == nullptr) {
        return nullptr;
    }
    HGDIOBJ& slot = gdi::SlotFor(*context, target->kind);
    if (slot == object) {
        return object;
    }
    // A bitmap can be selected into one DC at a time.
    if (target->kind == ObjectKind::Bitmap && !target->stock && target->selections > 0) {
        return nullptr;
    }
    const HGDIOBJ previous = slot;
    ++target->selections;
    slot = object;
    gdi::Unselect(previous);
    return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
    Object* target = gdi::AnyLiveObject(object);
    if (target == nullptr) {
        return FALSE;
    }
    if (target->stock) {
        return TRUE;
    }
    // A DC that still has it selected keeps drawing with it until something replaces it.
    target->deleted = true;
    if (target->selections <= 0) {
        gdi::Reg().objects.erase(gdi::Key(object));
    }
    return TRUE;
}

HPEN CreatePen(int style, int, COLORREF colour) {
    // Every pen draws one pixel wide; only solid pens are made.
    if (style != PS_SOLID) {
        return nullptr;
    }
    return gdi::AddObject(gdi::MakeObject(ObjectKind::Pen, colour));
}

HBRUSH_GDI CreateSolidBrush(COLORREF colour) {
    return gdi::AddObject(gdi::MakeObject(ObjectKind::Brush, colour));
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
    DeviceContext* context = gdi::FindDC(dc);
    if (context == nullptr) {
        return FALSE;
    }
    if (previous != nullptr) {
        *previous = context->position;
    }
    context->position = {x, y};
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
    DeviceContext* context = gdi::FindDC(dc);
    if (context == nullptr) {
        return FALSE;
    }
    if (Object* bitmap = gdi::BitmapOf(*context)) {
        gdi::DrawLine(*bitmap, context->position.x, context->position.y, x, y,
                      gdi::ColourOf(context->pen));
    }
    context->position = {x, y};
    return TRUE;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
    DeviceContext* context = gdi::FindDC(dc);
    if (context == nullptr) {
        return FALSE;
    }
    Object* bitmap = gdi::BitmapOf(*context);
    if (bitmap == nullptr) {
        return TRUE;
    }
    std::int64_t l = std::min(left, right), r = std::max(left, right);
    std::int64_t t = std::min(top, bottom), b = std::max(top, bottom);
    // The outline takes columns l..r-1 and rows t..b-1; the brush fills what lies inside.
    const COLORREF pen = gdi::ColourOf(context->pen);
    gdi::FillBox(*bitmap, l + 1, t + 1, r - 1, b - 1, gdi::ColourOf(context->brush));
    if (r > l && b > t) {
        gdi::FillBox(*bitmap, l, t, r, t + 1, pen);
        gdi::FillBox(*bitmap, l, b - 1, r, b, pen);
        gdi::FillBox(*bitmap, l, t, l + 1, b, pen);
        gdi::FillBox(*bitmap, r - 1, t, r, b, pen);
    }
    return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    DeviceContext* context = gdi::FindDC(dc);
    Object* bitmap = context != nullptr ? gdi::BitmapOf(*context) : nullptr;
    if (bitmap == nullptr || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) {
        return CLR_INVALID;
    }
    return bitmap->pixels[static_cast<std::size_t>(y) * bitmap->width + x];
}
