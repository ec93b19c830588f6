// The expander of the packed resource block on arbitrary code streams and output room: it either
// refuses the stream or fills no more than the room it was given.
#include "screen/resource_blob.hpp"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first two bytes choose the room, up to 64 KiB; an exact-size buffer lets the address
    // checker see any write past it.
    const std::size_t room = static_cast<std::size_t>(bytes[0]) << 8 | bytes[1];
    std::vector<std::uint8_t> output(room);
    std::size_t capacity = room;
    const int result = ulo::expandResourceBlob(bytes + 2, size - 2, output.data(), &capacity);
    if (result != 0 && result != -1) {
        std::abort();
    }
    if (result == 0 && capacity > room) {
        std::abort();
    }
    return 0;
}
