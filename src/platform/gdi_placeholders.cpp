// Temporary definitions so that everything links while gdi, fonts and D3DX are written.
#include "gfxutil/d3dx8.h"
#include "platform/gdi.h"

HDC CreateCompatibleDC(HDC) { return nullptr; }
BOOL DeleteDC(HDC) { return FALSE; }
int GetDeviceCaps(HDC, int) { return 0; }
HBITMAP CreateBitmap(int, int, UINT, UINT, const void*) { return nullptr; }
HGDIOBJ SelectObject(HDC, HGDIOBJ) { return nullptr; }
BOOL DeleteObject(HGDIOBJ) { return FALSE; }
HPEN CreatePen(int, int, COLORREF) { return nullptr; }
HBRUSH_GDI CreateSolidBrush(COLORREF) { return nullptr; }
BOOL MoveToEx(HDC, int, int, POINT*) { return FALSE; }
BOOL LineTo(HDC, int, int) { return FALSE; }
BOOL Rectangle(HDC, int, int, int, int) { return FALSE; }
HFONT CreateFontA(int, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                  LPCSTR) {
    return nullptr;
}
COLORREF SetTextColor(HDC, COLORREF) { return CLR_INVALID; }
int SetBkMode(HDC, int) { return 0; }
UINT SetTextAlign(HDC, UINT) { return 0; }
BOOL TextOutA(HDC, int, int, LPCSTR, int) { return FALSE; }
COLORREF GetPixel(HDC, int, int) { return CLR_INVALID; }

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3*, const D3DXVECTOR3*,
                               const D3DXVECTOR3*) {
    return out;
}
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float, float, float, float) { return out; }
HRESULT D3DXCreateFont(IDirect3DDevice8*, HFONT, ID3DXFont** out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    return E_FAIL;
}
