// gdi stand-in: the GDI calls the program makes for its fonts and for painting the disc
// texture, with GDI's names and values. A memory DC holds a 32-bit bitmap; text comes
// from FreeType through fonts.h.
#pragma once

#include "platform/win32.h"

struct HDC__;
struct HGDIOBJ__;
using HDC = HDC__*;
using HGDIOBJ = HGDIOBJ__*;
// Pens, brushes, fonts and bitmaps are all GDI objects; they share one handle space.
using HPEN = HGDIOBJ;
using HFONT = HGDIOBJ;
using HBITMAP = HGDIOBJ;
using HBRUSH_GDI = HGDIOBJ;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;
inline const HGDIOBJ HGDI_ERROR = reinterpret_cast<HGDIOBJ>(~static_cast<std::uintptr_t>(0));

// GetDeviceCaps
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

// Pens
constexpr int PS_SOLID = 0;

// Background modes
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Text alignment
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;

// CreateFontA
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD OUT_DEFAULT_PRECIS = 0;
constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
constexpr DWORD ANTIALIASED_QUALITY = 4;
constexpr DWORD VARIABLE_PITCH = 2;

HDC CreateCompatibleDC(HDC reference);
BOOL DeleteDC(HDC dc);
int GetDeviceCaps(HDC dc, int index);

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);

HPEN CreatePen(int style, int width, COLORREF colour);
HBRUSH_GDI CreateSolidBrush(COLORREF colour);
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL LineTo(HDC dc, int x, int y);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                  DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                  DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily,
                  LPCSTR faceName);
COLORREF SetTextColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);
UINT SetTextAlign(HDC dc, UINT align);
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length);

COLORREF GetPixel(HDC dc, int x, int y);
