#include "posix/sdl_library.hpp"

#include <dlfcn.h>
#include <string>

namespace ulo {
namespace {

std::string loadFailure = "SDL2 is not installed (libSDL2-2.0.so.0)";

constexpr const char* LIBRARY_NAMES[] = {"libSDL2-2.0.so.0", "libSDL2.so"};

bool resolve(void* handle, SdlLibrary& library) {
    bool complete = true;
#define ULO_SDL_RESOLVE(name)                                                                      \
    library.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                    \
    complete = complete && library.name != nullptr;
    ULO_SDL_FUNCTIONS(ULO_SDL_RESOLVE)
#undef ULO_SDL_RESOLVE
    return complete;
}

const SdlLibrary* load() {
    static SdlLibrary library;
    for (const char* name : LIBRARY_NAMES) {
        void* handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            if (const char* reason = ::dlerror(); reason != nullptr && name == LIBRARY_NAMES[0]) {
                loadFailure = reason;
            }
            continue;
        }
        if (resolve(handle, library)) {
            return &library;
        }
        loadFailure = std::string(name) + " lacks functions this program needs";
        ::dlclose(handle);
    }
    return nullptr;
}

} // namespace

const SdlLibrary* loadSdlLibrary() {
    static const SdlLibrary* const library = load();
    return library;
}

const char* sdlLibraryError() {
    return loadFailure.c_str();
}

} // namespace ulo
