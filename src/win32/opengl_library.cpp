#include "win32/opengl_library.hpp"

#include "screen/screen.hpp"

#include <algorithm>

namespace ulo {
namespace {

constexpr BYTE DEPTH_BITS = 32;
constexpr BYTE STENCIL_BITS = 8;
constexpr BYTE ACCUM_BITS = 32;

// GetProcAddress gives a generic function pointer; the cast to the real type goes through
// another generic one, which the compiler accepts without a cast-function-type warning.
template <typename Function>
bool resolve(HMODULE module, const char* name, Function& function) {
    using Generic = void (*)();
    function =
        reinterpret_cast<Function>(reinterpret_cast<Generic>(::GetProcAddress(module, name)));
    return function != nullptr;
}

} // namespace

bool loadOpenGl(OpenGlLibrary& library) {
    library = OpenGlLibrary{};
    library.module = ::LoadLibraryA("opengl32.dll");
    if (library.module == nullptr) {
        return false;
    }
    if (resolve(library.module, "wglCreateContext", library.createContext) &&
        resolve(library.module, "wglMakeCurrent", library.makeCurrent) &&
        resolve(library.module, "wglDeleteContext", library.deleteContext)) {
        return true;
    }
    unloadOpenGl(library);
    return false;
}

void unloadOpenGl(OpenGlLibrary& library) {
    if (library.module != nullptr) {
        ::FreeLibrary(library.module);
    }
    library = OpenGlLibrary{};
}

PIXELFORMATDESCRIPTOR openGlPixelFormat(std::int32_t depth, std::int32_t flags) {
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = static_cast<BYTE>(depth);
    format.cDepthBits = DEPTH_BITS;
    format.cStencilBits = (flags & SCREEN_STENCIL_BUFFER) != 0 ? STENCIL_BITS : 0;
    format.cAccumBits = (flags & SCREEN_ACCUM_BUFFER) != 0 ? ACCUM_BITS : 0;
    format.iLayerType = PFD_MAIN_PLANE;
    return format;
}

namespace {

bool hasBuffersOf(const PIXELFORMATDESCRIPTOR& format, const PIXELFORMATDESCRIPTOR& wanted) {
    return (format.dwFlags & wanted.dwFlags) == wanted.dwFlags &&
           format.iPixelType == wanted.iPixelType && format.cStencilBits >= wanted.cStencilBits &&
           format.cAccumBits >= wanted.cAccumBits;
}

} // namespace

int choosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR& wanted) {
    const int chosen = ::ChoosePixelFormat(dc, &wanted);
    PIXELFORMATDESCRIPTOR format{};
    if (chosen == 0 || ::DescribePixelFormat(dc, chosen, sizeof format, &format) == 0 ||
        hasBuffersOf(format, wanted)) {
        return chosen;
    }
    // The deepest depth buffer among the formats that have every buffer asked for.
    const BYTE colourBits = format.cColorBits;
    int best = 0;
    BYTE bestDepthBits = 0;
    const int count = ::DescribePixelFormat(dc, 1, sizeof format, &format);
    for (int i = 1; i <= count; ++i) {
        if (::DescribePixelFormat(dc, i, sizeof format, &format) != 0 &&
            format.cColorBits == colourBits && hasBuffersOf(format, wanted) &&
            (best == 0 || format.cDepthBits > bestDepthBits)) {
            best = i;
            bestDepthBits = format.cDepthBits;
        }
    }
    return best != 0 ? best : chosen;
}

std::vector<std::int32_t> displayModeSizes(std::int32_t depth) {
    std::vector<std::int32_t> sizes;
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; ::EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
        if (static_cast<std::int32_t>(mode.dmBitsPerPel) != depth) {
            continue;
        }
        const auto size = static_cast<std::int32_t>(mode.dmPelsWidth * 65536 + mode.dmPelsHeight);
        if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) {
            sizes.push_back(size);
        }
    }
    return sizes;
}

} // namespace ulo
