#include "posix/sdl_library.hpp"

#include <dlfcn.h>

namespace ulo {
namespace {

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
            continue;
        }
        if (resolve(handle, library)) {
            return &library;
        }
        ::dlclose(handle);
    }
    return nullptr;
}

} // namespace

const SdlLibrary* loadSdlLibrary() {
    static const SdlLibrary* const library = load();
    return library;
}

} // namespace ulo
