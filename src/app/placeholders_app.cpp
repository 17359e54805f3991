// Temporary definitions so that everything links while the shell is written; each goes
// when its real definition lands.
#include "app/shell.h"
#include "seek/seek_keys.h"

HWND CreateAppWindow(std::uint32_t, std::uint32_t) { return nullptr; }
LRESULT WindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
HRESULT CreateInput(HINSTANCE) { return E_FAIL; }
HRESULT SetUpKeyboard(HWND) { return E_FAIL; }
HRESULT SetUpMouse(HWND) { return E_FAIL; }
HRESULT AcquireKeyboard() { return E_FAIL; }
HRESULT AcquireMouse() { return E_FAIL; }
HRESULT PollKeyboard() { return E_FAIL; }
void PollMouse() {}
void SetCursorBounds(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void BoundCursorToScreen() {}
void ClampCursor() {}
std::int32_t GetCursorX() { return 0; }
std::int32_t GetCursorY() { return 0; }
std::uint32_t GetMouseButtons() { return 0; }
HRESULT SetUpDevice() { return E_FAIL; }
void ReleaseDevice() {}
ID3DXFont* MakeFont(std::int32_t, std::int32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                    const char*) {
    return nullptr;
}
void ProcessSeekKeys() {}
int WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
