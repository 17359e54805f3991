// Temporary definitions so that everything links while the win32 stand-in is written.
#include "platform/win32.h"

ATOM RegisterClassExA(const WNDCLASSEXA*) { return 0; }
HWND CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE,
                     void*) {
    return nullptr;
}
BOOL DestroyWindow(HWND) { return FALSE; }
LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
void PostQuitMessage(int) {}
BOOL PeekMessageA(MSG*, HWND, UINT, UINT, UINT) { return FALSE; }
BOOL TranslateMessage(const MSG*) { return FALSE; }
LRESULT DispatchMessageA(const MSG*) { return 0; }
HMODULE GetModuleHandleA(LPCSTR) { return nullptr; }
int ShowCursor(BOOL) { return 0; }
DWORD GetTickCount() { return 0; }
int MulDiv(int, int, int) { return 0; }
