// A private X server without a screen (Xvfb) for tests of the real window: finding a window by
// title, its geometry and pixels, typing into it, and asking it to close as the window's close
// button does.
#pragma once

#include "screen/framebuffer_png.hpp"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace ulo::testing {

class VirtualDisplay {
public:
    VirtualDisplay(int width = 1024, int height = 768);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool running() const { return display_ != nullptr; }
    // ":N", for DISPLAY.
    const std::string& name() const { return name_; }

    struct Geometry {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // The viewable top-level window with this title, waiting up to `timeout` for one.
    std::optional<unsigned long>
    findWindow(const std::string& title,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // True once no viewable window has this title (waiting up to `timeout`).
    bool windowGone(const std::string& title,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20));
    Geometry geometry(unsigned long window);
    // The window's pixels as they are on the screen.
    RgbPicture capture(unsigned long window);

    struct Shown {
        std::optional<unsigned long> window; // none when no window ever showed what was wanted
        RgbPicture picture;                  // the last picture seen
    };
    // Waits up to `timeout` until the viewable window titled `title` shows a picture that
    // `wanted` accepts. The window is looked up anew for every look: a program can replace its
    // window by another of the same title (the window library does so to draw into it, and for
    // full screen), and keys typed into one that is about to go are lost.
    Shown waitForWindowShowing(const std::string& title,
                               const std::function<bool(const RgbPicture&)>& wanted,
                               std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // Gives the window the keyboard focus, then types text or presses keys (key names as the
    // X keyboard calls them, e.g. "BackSpace", "alt+Return").
    void type(unsigned long window, const std::string& text);
    void press(unsigned long window, const std::string& keys);
    // What the window's close button does: the window system asks the window to close.
    void requestClose(unsigned long window);
    // Ends the server, as a desktop session that ends does; nothing above works afterwards.
    void stop();

private:
    void focus(unsigned long window);
    void xdotool(const std::string& arguments);

    int serverPid_ = -1;
    std::string name_;
    void* display_ = nullptr;
};

} // namespace ulo::testing
