// A private Xvfb with the real vormika on it (see desktop.h).
#include "desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace e2e {
namespace {

const std::string kDemo = std::string(VORMIKA_BINARY_DIR) + "/vormika";

// A window that vanishes between two calls is no reason to end the test program, which is
// what Xlib's default handler does.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

using Environment = std::vector<std::pair<std::string, std::string>>;

// Forks and runs `argv` with these changes to the environment (an empty value removes the
// variable) and stdout and stderr in `log`; the child dies with the test.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& log, int keepFd = -1,
            const Environment& environment = {}) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (const auto& [name, value] : environment) {
        if (value.empty()) {
            unsetenv(name.c_str());
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    for (int fd = 3; fd < 256; ++fd) {
        if (fd != keepFd) {
            close(fd);
        }
    }
    execvp(args[0], args.data());
    _exit(127);
}

// Reads the display number Xvfb writes once it accepts connections.
bool ReadDisplayNumber(int fd, std::string& number) {
    const std::int64_t deadline = NowMs() + 10000;
    char c = 0;
    while (NowMs() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        if (read(fd, &c, 1) != 1) {
            return false;
        }
        if (c == '\n') {
            return !number.empty();
        }
        number += c;
    }
    return false;
}

bool Reap(pid_t pid, int timeoutMs, int& status) {
    const std::int64_t deadline = NowMs() + timeoutMs;
    do {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return true;
        }
        SleepMs(5);
    } while (NowMs() < deadline);
    return false;
}

int MaskShift(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::uint32_t Shot::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return 0;
    }
    return pixels[static_cast<std::size_t>(y) * width + x];
}

Desktop::Desktop() {
    char pattern[] = "/tmp/vormika-e2e-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
        dir_ = pattern;
    }
}

Desktop::~Desktop() {
    Stop();
    if (!dir_.empty()) {
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
}

bool Desktop::Start(std::string& error, int width, int height) {
    if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0) {
        error = "Xvfb or xdotool is not installed";
        return false;
    }
    int fds[2];
    if (dir_.empty() || pipe(fds) != 0) {
        error = "no scratch folder or pipe";
        return false;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                     "-nolisten", "tcp", "-noreset"},
                    dir_ + "/xvfb.log", fds[1]);
    close(fds[1]);
    std::string number;
    const bool ready = ReadDisplayNumber(fds[0], number);
    close(fds[0]);
    if (!ready) {
        error = "Xvfb did not start";
        return false;
    }
    display_ = ":" + number;
    XSetErrorHandler(IgnoreXError);
    x_ = XOpenDisplay(display_.c_str());
    if (x_ == nullptr) {
        error = "cannot connect to Xvfb on " + display_;
        return false;
    }
    return true;
}

bool Desktop::Launch(const std::vector<std::string>& options) {
    std::vector<std::string> argv{kDemo};
    argv.insert(argv.end(), options.begin(), options.end());
    // The system libraries behind SDL keep allocations until exit, which a leak-checking
    // build would report as the program's.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const Environment environment = {
        {"DISPLAY", display_},
        {"SDL_VIDEODRIVER", "x11"},
        {"WAYLAND_DISPLAY", ""},
        {"ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":detect_leaks=0"},
    };
    demo_ = Spawn(argv, dir_ + "/demo.log", -1, environment);
    return demo_ > 0;
}

XWindowId Desktop::WaitForWindow(const char* name, int timeoutMs) {
    const std::int64_t deadline = NowMs() + timeoutMs;
    while (NowMs() < deadline) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        XWindowId found = 0;
        if (XQueryTree(x_, DefaultRootWindow(x_), &root, &parent, &children, &count) != 0) {
            for (unsigned int i = 0; i < count && found == 0; ++i) {
                char* title = nullptr;
                XWindowAttributes attributes{};
                if (XFetchName(x_, children[i], &title) != 0 && title != nullptr &&
                    std::strcmp(title, name) == 0 &&
                    XGetWindowAttributes(x_, children[i], &attributes) != 0 &&
                    attributes.map_state == IsViewable) {
                    found = children[i];
                }
                if (title != nullptr) {
                    XFree(title);
                }
            }
            if (children != nullptr) {
                XFree(children);
            }
        }
        if (found != 0) {
            return found;
        }
        SleepMs(20);
    }
    return 0;
}

bool Desktop::Geometry(XWindowId window, Rect& rect) {
    XWindowAttributes attributes{};
    Window child = 0;
    if (XGetWindowAttributes(x_, window, &attributes) == 0 ||
        XTranslateCoordinates(x_, window, DefaultRootWindow(x_), 0, 0, &rect.x, &rect.y,
                              &child) == 0) {
        return false;
    }
    rect.width = attributes.width;
    rect.height = attributes.height;
    return true;
}

Rect Desktop::ScreenSize() {
    const int screen = DefaultScreen(x_);
    return Rect{0, 0, DisplayWidth(x_, screen), DisplayHeight(x_, screen)};
}

void Desktop::Focus(XWindowId window) {
    XRaiseWindow(x_, window);
    XSetInputFocus(x_, window, RevertToParent, CurrentTime);
    XSync(x_, False);
}

bool Desktop::AcceptsDeleteRequests(XWindowId window) {
    Atom* protocols = nullptr;
    int count = 0;
    const Atom deleteWindow = XInternAtom(x_, "WM_DELETE_WINDOW", False);
    bool accepts = false;
    if (XGetWMProtocols(x_, window, &protocols, &count) != 0) {
        for (int i = 0; i < count; ++i) {
            accepts = accepts || protocols[i] == deleteWindow;
        }
        XFree(protocols);
    }
    return accepts;
}

void Desktop::SendDeleteRequest(XWindowId window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x_, window, False, NoEventMask, &event);
    XSync(x_, False);
}

Shot Desktop::Grab() {
    Shot shot;
    const Rect size = ScreenSize();
    XImage* image = XGetImage(x_, DefaultRootWindow(x_), 0, 0, size.width, size.height,
                              AllPlanes, ZPixmap);
    if (image == nullptr) {
        return shot;
    }
    shot.width = size.width;
    shot.height = size.height;
    shot.pixels.resize(static_cast<std::size_t>(size.width) * size.height);
    const int rs = MaskShift(image->red_mask);
    const int gs = MaskShift(image->green_mask);
    const int bs = MaskShift(image->blue_mask);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            const std::uint32_t r = (p & image->red_mask) >> rs;
            const std::uint32_t g = (p & image->green_mask) >> gs;
            const std::uint32_t b = (p & image->blue_mask) >> bs;
            shot.pixels[static_cast<std::size_t>(y) * size.width + x] = r << 16 | g << 8 | b;
        }
    }
    XDestroyImage(image);
    return shot;
}

bool Desktop::WaitFor(const std::function<bool(const Shot&)>& seen, int timeoutMs, Shot& last) {
    const std::int64_t deadline = NowMs() + timeoutMs;
    do {
        last = Grab();
        if (seen(last)) {
            return true;
        }
        SleepMs(30);
    } while (NowMs() < deadline);
    return false;
}

bool Desktop::Xdo(const std::string& args) {
    const std::string command = "DISPLAY=" + display_ + " xdotool " + args + " >>'" + dir_ +
                                "/xdotool.log' 2>&1";
    return std::system(command.c_str()) == 0;
}

std::optional<int> Desktop::WaitForExit(int timeoutMs) {
    if (demo_ > 0 && Reap(demo_, timeoutMs, demoStatus_)) {
        demo_ = -1;
    }
    if (demo_ > 0 || demoStatus_ == -1) {
        return std::nullopt;
    }
    return WIFEXITED(demoStatus_) ? WEXITSTATUS(demoStatus_) : 128 + WTERMSIG(demoStatus_);
}

bool Desktop::Running() { return !WaitForExit(0).has_value() && demo_ > 0; }

std::string Desktop::DemoErrors() const {
    std::ifstream file(dir_ + "/demo.log");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void Desktop::Stop() {
    int status = 0;
    if (demo_ > 0) {
        kill(demo_, SIGKILL);
        Reap(demo_, 2000, status);
        demo_ = -1;
    }
    if (x_ != nullptr) {
        XCloseDisplay(x_);
        x_ = nullptr;
    }
    if (server_ > 0) {
        kill(server_, SIGTERM);
        if (!Reap(server_, 2000, status)) {
            kill(server_, SIGKILL);
            Reap(server_, 2000, status);
        }
        server_ = -1;
    }
}

} // namespace e2e
