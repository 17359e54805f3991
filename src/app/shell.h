// The application shell: window, input, graphics device and fonts.
#pragma once

#include <cstdint>

#include "platform/d3d8.h"

class ID3DXFont;

// Window.
HWND CreateAppWindow(std::uint32_t width, std::uint32_t height);
LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Input.
HRESULT CreateInput(HINSTANCE instance);
HRESULT SetUpKeyboard(HWND window);
HRESULT SetUpMouse(HWND window);
HRESULT AcquireKeyboard();
HRESULT AcquireMouse();
HRESULT PollKeyboard();
void PollMouse();
void SetCursorBounds(std::int32_t minX, std::int32_t minY, std::int32_t maxX, std::int32_t maxY);
void BoundCursorToScreen();
void ClampCursor();
std::int32_t GetCursorX();
std::int32_t GetCursorY();
std::uint32_t GetMouseButtons();
// Releases both input devices and the DirectInput object, at shutdown.
void ReleaseInput();

// Graphics device and fonts.
HRESULT SetUpDevice();
void ReleaseDevice();
ID3DXFont* MakeFont(std::int32_t points, std::int32_t weight, std::uint32_t italic,
                    std::uint32_t underline, std::uint32_t strikeOut, const char* face);
