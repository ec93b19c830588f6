#include "support/virtual_display.hpp"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ulo::testing {
namespace {

Display* x(void* display) {
    return static_cast<Display*>(display);
}

std::string windowTitle(Display* display, Window window) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

std::optional<Window> viewableWindow(Display* display, const std::string& title) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return std::nullopt;
    }
    std::optional<Window> found;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable && windowTitle(display, children[i]) == title) {
            found = children[i]; // the topmost one wins: children come bottom to top
        }
    }
    XFree(children);
    return found;
}

// Quietly ignore errors about windows that went away between two requests.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

VirtualDisplay::VirtualDisplay(int width, int height) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(ready[1]);
    serverPid_ = ::fork();
    if (serverPid_ == 0) {
        ::close(ready[0]);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                 "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ready[1]);
    // The server writes its display number when it is ready.
    pollfd entry{ready[0], POLLIN, 0};
    std::string number;
    while (::poll(&entry, 1, 20000) > 0) {
        char c = 0;
        if (::read(ready[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        number.push_back(c);
    }
    ::close(ready[0]);
    if (number.empty()) {
        return;
    }
    name_ = ":" + number;
    XSetErrorHandler(ignoreErrors);
    display_ = XOpenDisplay(name_.c_str());
}

VirtualDisplay::~VirtualDisplay() {
    stop();
}

void VirtualDisplay::stop() {
    if (display_ != nullptr) {
        XCloseDisplay(x(display_));
        display_ = nullptr;
    }
    if (serverPid_ > 0) {
        ::kill(serverPid_, SIGTERM);
        int status = 0;
        ::waitpid(serverPid_, &status, 0);
        serverPid_ = -1;
    }
}

std::optional<unsigned long> VirtualDisplay::findWindow(const std::string& title,
                                                        std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (const auto window = viewableWindow(x(display_), title)) {
            return *window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

bool VirtualDisplay::windowGone(const std::string& title, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (!viewableWindow(x(display_), title)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

VirtualDisplay::Geometry VirtualDisplay::geometry(unsigned long window) {
    XWindowAttributes attributes{};
    Geometry geometry;
    if (XGetWindowAttributes(x(display_), window, &attributes) != 0) {
        Window child = 0;
        XTranslateCoordinates(x(display_), window, DefaultRootWindow(x(display_)), 0, 0,
                              &geometry.x, &geometry.y, &child);
        geometry.width = attributes.width;
        geometry.height = attributes.height;
    }
    return geometry;
}

RgbPicture VirtualDisplay::capture(unsigned long window) {
    RgbPicture picture;
    const Geometry size = geometry(window);
    XImage* image = XGetImage(x(display_), window, 0, 0, static_cast<unsigned>(size.width),
                              static_cast<unsigned>(size.height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return picture;
    }
    picture.width = size.width;
    picture.height = size.height;
    picture.pixels.resize(static_cast<std::size_t>(size.width) *
                          static_cast<std::size_t>(size.height));
    for (int row = 0; row < size.height; ++row) {
        for (int column = 0; column < size.width; ++column) {
            picture.pixels[static_cast<std::size_t>(row * size.width + column)] =
                static_cast<std::uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFFu;
        }
    }
    XDestroyImage(image);
    return picture;
}

VirtualDisplay::Shown
VirtualDisplay::waitForWindowShowing(const std::string& title,
                                     const std::function<bool(const RgbPicture&)>& wanted,
                                     std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Shown shown;
    do {
        if (const auto window = viewableWindow(x(display_), title)) {
            shown.picture = capture(*window);
            if (wanted(shown.picture)) {
                shown.window = *window;
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return shown;
}

void VirtualDisplay::focus(unsigned long window) {
    XSetInputFocus(x(display_), window, RevertToParent, CurrentTime);
    XSync(x(display_), False);
}

void VirtualDisplay::xdotool(const std::string& arguments) {
    const std::string command = "DISPLAY=" + name_ + " xdotool " + arguments + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE_AT(__FILE__, __LINE__) << "xdotool failed: " << arguments;
    }
}

void VirtualDisplay::type(unsigned long window, const std::string& text) {
    focus(window);
    xdotool("type --delay 15 -- '" + text + "'");
}

void VirtualDisplay::press(unsigned long window, const std::string& keys) {
    focus(window);
    xdotool("key --delay 15 " + keys);
}

void VirtualDisplay::requestClose(unsigned long window) {
    Display* display = x(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

} // namespace ulo::testing
