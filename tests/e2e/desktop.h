// A private X server (Xvfb) with the real vormika on it: start, find its window, send real X
// input through xdotool, read the screen back, and end everything when done.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Xlib's own names are kept out of the tests; only these two handles cross over.
struct _XDisplay;
using XWindowId = unsigned long;

namespace e2e {

// One grab of the whole root window, 0x00RRGGBB per pixel.
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(int x, int y) const;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class Desktop {
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Starts Xvfb (24-bit, 1024x768 unless told) on a display number it picks itself and
    // connects to it. False, with the reason in `error`, when that cannot be done.
    bool Start(std::string& error, int width = 1024, int height = 768);

    // ":N", for a client in this process.
    const std::string& DisplayName() const { return display_; }

    // Runs the built vormika with these options on the display.
    bool Launch(const std::vector<std::string>& options);

    // The viewable top-level window of this name, waited for; 0 when none appears in time.
    XWindowId WaitForWindow(const char* name, int timeoutMs);
    bool Geometry(XWindowId window, Rect& rect);
    Rect ScreenSize();
    void Focus(XWindowId window);
    bool AcceptsDeleteRequests(XWindowId window);
    // What a window manager sends when the user closes the window.
    void SendDeleteRequest(XWindowId window);

    Shot Grab();
    // Grabs the screen until `seen` holds for a grab (kept in `last`) or the time is up.
    bool WaitFor(const std::function<bool(const Shot&)>& seen, int timeoutMs, Shot& last);
    // Runs `xdotool ARGS` against the display; true when it succeeded.
    bool Xdo(const std::string& args);

    // The program's exit status once it ends within the time; nothing if it is still running.
    std::optional<int> WaitForExit(int timeoutMs);
    bool Running();
    // The program's stderr so far, for failure messages.
    std::string DemoErrors() const;

private:
    void Stop();

    std::string dir_;           // scratch folder for the server's and program's output
    std::string display_;       // ":N"
    pid_t server_ = -1;
    pid_t demo_ = -1;
    int demoStatus_ = -1;       // raw wait status once reaped
    _XDisplay* x_ = nullptr;
};

// Milliseconds since an arbitrary start, for timeouts.
std::int64_t NowMs();

} // namespace e2e
