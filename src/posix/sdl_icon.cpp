// The program's window icon, as the window library takes it.
#include "posix/sdl_icon.hpp"
#include "screen/program_icon.hpp"

namespace ulo {

static_assert(SDL_ICON_SIZE == PROGRAM_ICON_SIZE);

const std::uint32_t* programIcon() {
    return PROGRAM_ICON.data();
}

} // namespace ulo
