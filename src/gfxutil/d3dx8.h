// D3DX stand-ins: the matrix helpers and the text renderer the program calls, with D3DX 8's
// names. Matrices are row-vector, left-handed, as Direct3D's.
#pragma once

#include "platform/d3d8.h"
#include "platform/gdi.h"

struct D3DXVECTOR3 {
    float x, y, z;
};

using D3DXMATRIX = D3DMATRIX;

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zNear,
                                       float zFar);

// DrawText format flags.
constexpr DWORD DT_TOP = 0x00000000;
constexpr DWORD DT_LEFT = 0x00000000;
constexpr DWORD DT_CENTER = 0x00000001;
constexpr DWORD DT_RIGHT = 0x00000002;
constexpr DWORD DT_VCENTER = 0x00000004;
constexpr DWORD DT_BOTTOM = 0x00000008;
constexpr DWORD DT_WORDBREAK = 0x00000010;
constexpr DWORD DT_SINGLELINE = 0x00000020;
constexpr DWORD DT_EXPANDTABS = 0x00000040;
constexpr DWORD DT_NOCLIP = 0x00000100;
constexpr DWORD DT_CALCRECT = 0x00000400;

class ID3DXFont : public IUnknownLike {
public:
    virtual HRESULT Begin() = 0;
    // Draws text (count -1: up to its terminating zero) in rect with the format flags and
    // colour; returns the height of the text drawn, 0 on failure.
    virtual INT DrawTextA(LPCSTR text, INT count, RECT* rect, DWORD format, D3DCOLOR colour) = 0;
    virtual HRESULT End() = 0;
};

// Makes a font for the device from a GDI font; the result does not depend on the GDI font
// afterwards.
HRESULT D3DXCreateFont(IDirect3DDevice8* device, HFONT font, ID3DXFont** out);
