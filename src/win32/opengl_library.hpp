// OpenGL on Windows as the OpenGL driver needs it: "opengl32.dll" loaded only when a program asks
// for an OpenGL window (so ulo.exe imports no OpenGL), its three context functions, the pixel
// format a window asks for and the display's sizes.
#pragma once

#include <cstdint>
#include <vector>
#include <windows.h>

namespace ulo {

struct OpenGlLibrary {
    HMODULE module = nullptr;
    HGLRC(WINAPI* createContext)(HDC) = nullptr;
    BOOL(WINAPI* makeCurrent)(HDC, HGLRC) = nullptr;
    BOOL(WINAPI* deleteContext)(HGLRC) = nullptr;
};

// Loads the library with all three functions; false, with nothing left loaded, when the library
// or any of them is missing.
bool loadOpenGl(OpenGlLibrary& library);
void unloadOpenGl(OpenGlLibrary& library);

// Double-buffered RGBA for a window, `depth` colour bits, a 32-bit depth buffer, and the 8-bit
// stencil and 32-bit accumulation buffers that SCREEN_STENCIL_BUFFER and SCREEN_ACCUM_BUFFER ask
// for.
PIXELFORMATDESCRIPTOR openGlPixelFormat(std::int32_t depth, std::int32_t flags);

// The device's pixel format for `wanted`, 0 when it has none: ChoosePixelFormat's, unless that one
// lacks the stencil or accumulation bits asked for (Wine's does not weigh accumulation at all)
// and another format with the same colour bits has them.
int choosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR& wanted);

// The sizes of the display's modes with `depth` bits per pixel, each width * 65536 + height,
// once each, in the order the system lists them.
std::vector<std::int32_t> displayModeSizes(std::int32_t depth);

} // namespace ulo
