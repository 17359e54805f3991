// The Direct3D object and the full-screen device on the program's window, and the text
// fonts made for the device.
#include "app/shell.h"
#include "gfxutil/d3dx8.h"
#include "platform/gdi.h"
#include "state/app_state.h"

namespace {

D3DPRESENT_PARAMETERS PresentParameters() {
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = app.screenWidth;
    params.BackBufferHeight = app.screenHeight;
    params.BackBufferFormat = D3DFMT_A8R8G8B8;
    params.BackBufferCount = 0;
    params.MultiSampleType = D3DMULTISAMPLE_NONE;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = nullptr;
    params.Windowed = FALSE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    params.FullScreen_RefreshRateInHz = 0;
    params.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    return params;
}

} // namespace

HRESULT SetUpDevice() {
    if (app.windowHandle == nullptr) {
        return E_FAIL;
    }
    app.direct3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (app.direct3d == nullptr) {
        return E_FAIL;
    }
    // The mode is read only to learn that the adapter answers.
    D3DDISPLAYMODE mode = {};
    if (FAILED(app.direct3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) {
        return E_FAIL;
    }
    D3DPRESENT_PARAMETERS params = PresentParameters();
    if (FAILED(app.direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, app.windowHandle,
                                          D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                                          &app.device))) {
        return E_FAIL;
    }
    app.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    app.device->SetRenderState(D3DRS_LIGHTING, FALSE);
    return S_OK;
}

void ReleaseDevice() {
    if (app.device != nullptr) {
        app.device->Release();
    }
    if (app.direct3d != nullptr) {
        app.direct3d->Release();
    }
}

ID3DXFont* MakeFont(std::int32_t points, std::int32_t weight, std::uint32_t italic,
                    std::uint32_t underline, std::uint32_t strikeOut, const char* face) {
    // A negative height asks for the character height, so the size is in points.
    const HDC dc = CreateCompatibleDC(nullptr);
    const int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
    const HFONT gdiFont = CreateFontA(-MulDiv(points, pixelsPerInch, 72), 0, 0, 0, weight,
                                      italic, underline, strikeOut, DEFAULT_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                      ANTIALIASED_QUALITY, VARIABLE_PITCH, face);
    DeleteDC(dc);

    ID3DXFont* font = nullptr;
    if (FAILED(D3DXCreateFont(app.device, gdiFont, &font))) {
        font = nullptr;
    }
    DeleteObject(gdiFont);
    return font;
}
