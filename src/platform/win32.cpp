// win32 stand-in: window classes, the one window, a fixed message queue fed by the host,
// the tick count, the cursor display count, the module handle and MulDiv.
#include "platform/win32.h"

#include <cstdint>
#include <cstring>

#include "platform/host/host.h"
#include "platform/win32_ext.h"

namespace {

constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_NCCREATE = 0x0081;

struct ClassRecord {
    bool used = false;
    char name[64] = {};
    WNDPROC proc = nullptr;
};

// The thread's one window; its address is its handle.
struct WindowRecord {
    bool alive = false;
    WNDPROC proc = nullptr;
};

constexpr int kMaxClasses = 8;
constexpr int kQueueCapacity = 64;

ClassRecord classes[kMaxClasses];
WindowRecord window;
// Posted and input messages in arrival order. Windows drops messages past a queue's limit;
// so do we, which keeps the queue allocation-free.
MSG queue[kQueueCapacity];
int queueCount = 0;
bool quitPosted = false;
int quitCode = 0;
int cursorCount = 0;
char moduleToken = 0;

HWND WindowHandle() { return reinterpret_cast<HWND>(&window); }

bool IsLiveWindow(HWND handle) { return window.alive && handle == WindowHandle(); }

void Enqueue(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    // A close request is not input to lose: when the queue is full it takes the newest
    // message's place (the window manager sends it, past any queue, on Windows).
    if (queueCount == kQueueCapacity) {
        if (message != WM_CLOSE) {
            return;
        }
        --queueCount;
    }
    queue[queueCount++] = MSG{handle, message, wParam, lParam, 0, POINT{0, 0}};
}

// Key messages carry the DirectInput code as the scan code (bits 16-23), a repeat count
// of 1, and for a release the previous-state and transition bits, as Windows fills them.
LPARAM KeyLParam(std::uint8_t dik, bool up) {
    std::uint32_t bits = 1u | (static_cast<std::uint32_t>(dik) << 16);
    if (up) {
        bits |= 0xC0000000u;
    }
    return static_cast<LPARAM>(bits);
}

// Turns what the host has gathered into queued messages for the window. Input for a
// window that no longer exists is dropped.
void PumpHost() {
    if (!host::Installed()) {
        return;
    }
    host::Event event;
    while (host::Current().NextEvent(event)) {
        if (!window.alive) {
            continue;
        }
        switch (event.kind) {
        case host::EventKind::KeyDown:
            Enqueue(WindowHandle(), WM_KEYDOWN, 0, KeyLParam(event.dik, false));
            break;
        case host::EventKind::KeyUp:
            Enqueue(WindowHandle(), WM_KEYUP, 0, KeyLParam(event.dik, true));
            break;
        case host::EventKind::Close:
            Enqueue(WindowHandle(), WM_CLOSE, 0, 0);
            break;
        }
    }
}

bool Matches(const MSG& msg, HWND filter, UINT first, UINT last) {
    if (filter != nullptr && msg.hwnd != filter) {
        return false;
    }
    if (first == 0 && last == 0) {
        return true;
    }
    return msg.message >= first && msg.message <= last;
}

void RemoveQueued(int index) {
    for (int i = index + 1; i < queueCount; ++i) {
        queue[i - 1] = queue[i];
    }
    --queueCount;
}

void DropMessagesFor(HWND handle) {
    int kept = 0;
    for (int i = 0; i < queueCount; ++i) {
        if (queue[i].hwnd != handle) {
            queue[kept++] = queue[i];
        }
    }
    queueCount = kept;
}

} // namespace

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) ||
        windowClass->lpszClassName == nullptr || windowClass->lpfnWndProc == nullptr ||
        std::strlen(windowClass->lpszClassName) >= sizeof(ClassRecord::name)) {
        return 0;
    }
    int freeSlot = -1;
    for (int i = 0; i < kMaxClasses; ++i) {
        if (classes[i].used && std::strcmp(classes[i].name, windowClass->lpszClassName) == 0) {
            return 0; // already registered
        }
        if (!classes[i].used && freeSlot < 0) {
            freeSlot = i;
        }
    }
    if (freeSlot < 0) {
        return 0;
    }
    ClassRecord& record = classes[freeSlot];
    record.used = true;
    std::strcpy(record.name, windowClass->lpszClassName);
    record.proc = windowClass->lpfnWndProc;
    return static_cast<ATOM>(0xC000 + freeSlot);
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD, int, int, int width,
                     int height, HWND, HMENU, HINSTANCE, void*) {
    if (className == nullptr || window.alive || !host::Installed()) {
        return nullptr;
    }
    const ClassRecord* found = nullptr;
    for (const ClassRecord& record : classes) {
        if (record.used && std::strcmp(record.name, className) == 0) {
            found = &record;
        }
    }
    if (found == nullptr) {
        return nullptr;
    }
    if (!host::Current().OpenWindow(width, height, windowName != nullptr ? windowName : "")) {
        return nullptr;
    }
    window.alive = true;
    window.proc = found->proc;
    // Creation messages go to the window procedure; a refusal undoes the window.
    const HWND handle = WindowHandle();
    if (window.proc(handle, WM_NCCREATE, 0, 0) == 0 || window.proc(handle, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return handle;
}

BOOL DestroyWindow(HWND handle) {
    if (!IsLiveWindow(handle)) {
        return FALSE;
    }
    window.proc(handle, WM_DESTROY, 0, 0);
    window.alive = false;
    DropMessagesFor(handle);
    host::Current().CloseWindow();
    return TRUE;
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        // A close request destroys the window, as Windows' default handling does.
        DestroyWindow(handle);
        return 0;
    default:
        return 0;
    }
}

void PostQuitMessage(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
}

BOOL PeekMessageA(MSG* msg, HWND filter, UINT first, UINT last, UINT removeMessage) {
    if (msg == nullptr) {
        return FALSE;
    }
    PumpHost();
    const bool remove = (removeMessage & PM_REMOVE) != 0;
    for (int i = 0; i < queueCount; ++i) {
        if (Matches(queue[i], filter, first, last)) {
            *msg = queue[i];
            if (remove) {
                RemoveQueued(i);
            }
            return TRUE;
        }
    }
    // The quit message comes only once nothing else is waiting.
    const bool quitWanted = (first == 0 && last == 0) || (WM_QUIT >= first && WM_QUIT <= last);
    if (quitPosted && quitWanted) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, 0, POINT{0, 0}};
        if (remove) {
            quitPosted = false;
        }
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    // The program reads keys through DirectInput, so no character messages are made.
    return msg != nullptr && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) ? TRUE
                                                                                        : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || !IsLiveWindow(msg->hwnd)) {
        return 0;
    }
    return window.proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName == nullptr ? reinterpret_cast<HMODULE>(&moduleToken) : nullptr;
}

int ShowCursor(BOOL show) {
    cursorCount += show ? 1 : -1;
    if (host::Installed()) {
        host::Current().ShowSystemCursor(cursorCount >= 0);
    }
    return cursorCount;
}

DWORD GetTickCount() { return host::Current().Ticks(); }

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) {
        return -1;
    }
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const std::int64_t d = denominator;
    // Round half away from zero on magnitudes, then put the sign back.
    const std::int64_t magnitude = ((product < 0 ? -product : product) + (d < 0 ? -d : d) / 2) /
                                   (d < 0 ? -d : d);
    const std::int64_t result = (product < 0) != (d < 0) ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) {
        return -1;
    }
    return static_cast<int>(result);
}

namespace win32ext {

void Reset() {
    for (ClassRecord& record : classes) {
        record = ClassRecord{};
    }
    window = WindowRecord{};
    queueCount = 0;
    quitPosted = false;
    quitCode = 0;
    cursorCount = 0;
}

int QueuedMessages() { return queueCount; }

} // namespace win32ext
