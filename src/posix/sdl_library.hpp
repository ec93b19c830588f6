// SDL2, loaded at run time only when a window is to be opened, so that a program that talks
// through the terminal neither pays for loading it nor needs it installed.
#pragma once

#include <SDL.h>

// SDL_syswm.h would bring the window systems' own headers (and their macros) to every includer:
// its one function is declared here, and the record it fills is known by name only.
struct SDL_SysWMinfo;
extern "C" SDL_bool SDLCALL SDL_GetWindowWMInfo(SDL_Window* window, SDL_SysWMinfo* info);

namespace ulo {

// Every SDL function the window drivers and the bell use, as (name, function) pairs.
#define ULO_SDL_FUNCTIONS(X)                                                                       \
    X(SDL_Init)                                                                                    \
    X(SDL_InitSubSystem)                                                                           \
    X(SDL_QuitSubSystem)                                                                           \
    X(SDL_Quit)                                                                                    \
    X(SDL_GetError)                                                                                \
    X(SDL_SetHint)                                                                                 \
    X(SDL_GetCurrentVideoDriver)                                                                   \
    X(SDL_CreateWindow)                                                                            \
    X(SDL_DestroyWindow)                                                                           \
    X(SDL_SetWindowTitle)                                                                          \
    X(SDL_SetWindowIcon)                                                                           \
    X(SDL_SetWindowFullscreen)                                                                     \
    X(SDL_GetWindowFlags)                                                                          \
    X(SDL_GetWindowID)                                                                             \
    X(SDL_GetWindowWMInfo)                                                                         \
    X(SDL_GetWindowSize)                                                                           \
    X(SDL_GetWindowPosition)                                                                       \
    X(SDL_GetWindowDisplayIndex)                                                                   \
    X(SDL_GetCurrentDisplayMode)                                                                   \
    X(SDL_GetDisplayBounds)                                                                        \
    X(SDL_RaiseWindow)                                                                             \
    X(SDL_ShowWindow)                                                                              \
    X(SDL_HideWindow)                                                                              \
    X(SDL_SetWindowSize)                                                                           \
    X(SDL_SetWindowPosition)                                                                       \
    X(SDL_SetWindowDisplayMode)                                                                    \
    X(SDL_GetNumDisplayModes)                                                                      \
    X(SDL_GetDisplayMode)                                                                          \
    X(SDL_GetClosestDisplayMode)                                                                   \
    X(SDL_GL_ResetAttributes)                                                                      \
    X(SDL_GL_SetAttribute)                                                                         \
    X(SDL_GL_CreateContext)                                                                        \
    X(SDL_GL_MakeCurrent)                                                                          \
    X(SDL_GL_DeleteContext)                                                                        \
    X(SDL_GL_SwapWindow)                                                                           \
    X(SDL_GL_GetProcAddress)                                                                       \
    X(SDL_CreateRGBSurfaceWithFormatFrom)                                                          \
    X(SDL_FreeSurface)                                                                             \
    X(SDL_CreateRenderer)                                                                          \
    X(SDL_DestroyRenderer)                                                                         \
    X(SDL_GetRendererOutputSize)                                                                   \
    X(SDL_CreateTexture)                                                                           \
    X(SDL_DestroyTexture)                                                                          \
    X(SDL_LockTexture)                                                                             \
    X(SDL_UnlockTexture)                                                                           \
    X(SDL_SetRenderDrawColor)                                                                      \
    X(SDL_RenderClear)                                                                             \
    X(SDL_RenderCopy)                                                                              \
    X(SDL_RenderPresent)                                                                           \
    X(SDL_PollEvent)                                                                               \
    X(SDL_PumpEvents)                                                                              \
    X(SDL_PushEvent)                                                                               \
    X(SDL_WaitEventTimeout)                                                                        \
    X(SDL_GetKeyFromScancode)                                                                      \
    X(SDL_GetKeyboardState)                                                                        \
    X(SDL_StartTextInput)                                                                          \
    X(SDL_StopTextInput)                                                                           \
    X(SDL_GetGlobalMouseState)                                                                     \
    X(SDL_WarpMouseInWindow)                                                                       \
    X(SDL_ShowCursor)                                                                              \
    X(SDL_CreateSystemCursor)                                                                      \
    X(SDL_SetCursor)                                                                               \
    X(SDL_FreeCursor)                                                                              \
    X(SDL_OpenAudioDevice)                                                                         \
    X(SDL_CloseAudioDevice)                                                                        \
    X(SDL_PauseAudioDevice)                                                                        \
    X(SDL_QueueAudio)                                                                              \
    X(SDL_GetQueuedAudioSize)

struct SdlLibrary {
#define ULO_SDL_POINTER(name) decltype(&::name) name = nullptr;
    ULO_SDL_FUNCTIONS(ULO_SDL_POINTER)
#undef ULO_SDL_POINTER
};

// Loads the library and every function once; null when the library or a function is missing.
// The library stays loaded for the rest of the process.
const SdlLibrary* loadSdlLibrary();
// Why loadSdlLibrary found no library.
const char* sdlLibraryError();

} // namespace ulo
