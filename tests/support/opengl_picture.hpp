// The picture the OpenGL window tests draw, and the few OpenGL functions they draw it with, taken
// from the context's library by each platform's lookup.
#pragma once

#include "screen/framebuffer_png.hpp"

#if defined(_WIN32)
#include <windows.h>
#endif
#include <GL/gl.h>

#include <algorithm>
#include <vector>

namespace ulo::testing {

struct GlFunctions {
    decltype(&::glClearColor) clearColor;
    decltype(&::glClear) clear;
    decltype(&::glScissor) scissor;
    decltype(&::glEnable) enable;
    decltype(&::glDisable) disable;
    decltype(&::glGetIntegerv) getIntegerv;

    bool complete() const {
        return clearColor && clear && scissor && enable && disable && getIntegerv;
    }
};

// `lookup(name)` gives a function as a generic function pointer (null when missing).
template <typename Lookup>
GlFunctions glFunctions(Lookup lookup) {
    const auto get = [&]<typename Function>(Function& function, const char* name) {
        function = reinterpret_cast<Function>(lookup(name));
    };
    GlFunctions gl{};
    get(gl.clearColor, "glClearColor");
    get(gl.clear, "glClear");
    get(gl.scissor, "glScissor");
    get(gl.enable, "glEnable");
    get(gl.disable, "glDisable");
    get(gl.getIntegerv, "glGetIntegerv");
    return gl;
}

inline constexpr int GL_PICTURE_WIDTH = 640;
inline constexpr int GL_PICTURE_HEIGHT = 480;

// A blue 640 x 480 picture with a red rectangle at columns 100-299, rows 50-129 from the top.
inline RgbPicture openGlTestPicture() {
    RgbPicture picture{GL_PICTURE_WIDTH, GL_PICTURE_HEIGHT,
                       std::vector<std::uint32_t>(GL_PICTURE_WIDTH * GL_PICTURE_HEIGHT, 0x0000FF)};
    for (int row = 50; row < 130; ++row) {
        std::fill_n(picture.pixels.begin() + row * GL_PICTURE_WIDTH + 100, 200, 0xFF0000);
    }
    return picture;
}

// Draws openGlTestPicture() into the current context's back buffer (OpenGL counts rows from the
// bottom).
inline void drawOpenGlTestPicture(const GlFunctions& gl) {
    gl.disable(GL_SCISSOR_TEST);
    gl.clearColor(0, 0, 1, 1);
    gl.clear(GL_COLOR_BUFFER_BIT);
    gl.enable(GL_SCISSOR_TEST);
    gl.scissor(100, GL_PICTURE_HEIGHT - 130, 200, 80);
    gl.clearColor(1, 0, 0, 1);
    gl.clear(GL_COLOR_BUFFER_BIT);
    gl.disable(GL_SCISSOR_TEST);
}

} // namespace ulo::testing
