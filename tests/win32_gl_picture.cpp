// A program that draws with OpenGL, for a test that looks at its window from the X side: it sets
// mode 18 with SCREEN_OPENGL, then draws the OpenGL tests' picture and flips it until Escape is
// typed into the window (exit code 0). Exit code 1 when it gets no OpenGL window, 2 when no
// Escape comes within a minute.
#include "console/keys.hpp"
#include "support/opengl_picture.hpp"
#include "screen/screen.hpp"
#include "win32/windows_platform.hpp"

#include <chrono>

int main() {
    using namespace ulo;
    if (setScreenMode(18, 32, 0, SCREEN_OPENGL, 0) != ERR_NONE ||
        activeScreen()->driver != &WGL_DISPLAY_DRIVER) {
        return 1;
    }
    const HMODULE library = ::GetModuleHandleA("opengl32.dll");
    const testing::GlFunctions gl = testing::glFunctions([library](const char* name) {
        return reinterpret_cast<void (*)()>(::GetProcAddress(library, name));
    });
    if (!gl.complete()) {
        return 1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < deadline) {
        testing::drawOpenGlTestPicture(gl);
        activeScreen()->driver->flip();
        for (KeyCode key = popKey(); key != 0; key = popKey()) {
            if (key == 27) {
                setScreenMode(0, 0, 0, 0, 0);
                return 0;
            }
        }
        ::Sleep(20);
    }
    return 2;
}
