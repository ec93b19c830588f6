// The DirectX driver's decisions that need no window: what a pixel format means for the
// converters, the modes a full-screen window asks for, the pass that draws into a surface
// another program may have taken, and the display's modes.
#include "win32/directx_driver.hpp"
#include "win32/directx_surface.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace ulo {
namespace {

DDPIXELFORMAT pixelFormat(DWORD flags, DWORD bits, DWORD red, DWORD green, DWORD blue) {
    DDPIXELFORMAT format{};
    format.dwSize = sizeof format;
    format.dwFlags = flags;
    format.dwRGBBitCount = bits;
    format.dwRBitMask = red;
    format.dwGBitMask = green;
    format.dwBBitMask = blue;
    return format;
}

TEST(DirectXSurface, PixelFormatsGiveTheConvertersDestination) {
    struct Case {
        DDPIXELFORMAT format;
        int bits;
        bool blueFirst;
    };
    const std::vector<Case> cases = {
        {pixelFormat(DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF), 32, false},
        {pixelFormat(DDPF_RGB, 32, 0xFF, 0xFF00, 0xFF0000), 32, true},
        {pixelFormat(DDPF_RGB, 24, 0xFF, 0xFF00, 0xFF0000), 24, true},
        {pixelFormat(DDPF_RGB, 16, 0xF800, 0x7E0, 0x1F), 16, false},
        {pixelFormat(DDPF_RGB, 16, 0x7C00, 0x3E0, 0x1F), 15, false},
        {pixelFormat(DDPF_RGB, 16, 0x1F, 0x3E0, 0x7C00), 15, true},
        {pixelFormat(DDPF_RGB, 16, 0x1F, 0x7E0, 0xF800), 16, true},
        {pixelFormat(DDPF_RGB | DDPF_PALETTEINDEXED8, 8, 0, 0, 0), 8, false},
    };
    for (const Case& c : cases) {
        const auto format = surfaceFormatOf(c.format);
        ASSERT_TRUE(format.has_value());
        EXPECT_EQ(format->bits, c.bits) << "red mask " << c.format.dwRBitMask;
        EXPECT_EQ(format->blueFirst, c.blueFirst) << "red mask " << c.format.dwRBitMask;
    }
    EXPECT_FALSE(surfaceFormatOf(pixelFormat(DDPF_YUV, 16, 0, 0, 0)).has_value());
    EXPECT_FALSE(surfaceFormatOf(pixelFormat(DDPF_FOURCC, 32, 0, 0, 0)).has_value());
}

TEST(DirectXSurface, FullScreenTriesThePartnerDepthThenTallerModes) {
    std::vector<std::pair<int, int>> tries;
    for (const DisplayModeTry& mode : displayModeTries(480, 32)) {
        tries.emplace_back(mode.height, mode.depth);
    }
    const std::vector<std::pair<int, int>> expected = {
        {480, 32}, {480, 24}, {600, 32}, {600, 24}, {768, 32}, {768, 24}, {1024, 32}, {1024, 24}};
    EXPECT_EQ(tries, expected);

    tries.clear();
    for (const DisplayModeTry& mode : displayModeTries(200, 8)) {
        tries.emplace_back(mode.height, mode.depth);
    }
    const std::vector<std::pair<int, int>> eightBits = {{200, 8}, {240, 8}, {480, 8},
                                                        {600, 8}, {768, 8}, {1024, 8}};
    EXPECT_EQ(tries, eightBits);
    EXPECT_EQ(displayModeTries(1024, 16).size(), 2u); // nothing taller than 1024 lines
}

// A surface whose memory another program can take: Lock fails until Restore succeeds.
struct FakeSurface {
    bool lost = false;
    bool restorable = true;
    int restores = 0;
    int locked = 0;
    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(4 * 8 * 4, 0xA5);

    HRESULT Restore() {
        ++restores;
        if (restorable) {
            lost = false;
        }
        return lost ? DDERR_WRONGMODE : DD_OK;
    }
    HRESULT Lock(RECT*, DDSURFACEDESC* description, DWORD flags, HANDLE) {
        EXPECT_NE(flags & DDLOCK_WAIT, 0u);
        if (lost) {
            return DDERR_SURFACELOST;
        }
        ++locked;
        description->lpSurface = memory.data();
        description->lPitch = 4 * 8;
        return DD_OK;
    }
    HRESULT Unlock(void*) {
        --locked;
        return DD_OK;
    }
};

TEST(DirectXSurface, PassRestoresLostSurfacesAndDrawsOnlyIntoALockedOne) {
    ScreenState screen;
    screen.width = 8;
    screen.height = 2;
    screen.depth = 32;
    screen.bytesPerPixel = 4;
    screen.pitch = 32;
    screen.scanlineSize = 1;
    std::vector<std::uint8_t> pixels(64, 0x11);
    screen.framebuffer = pixels.data();
    screen.dirty.reset(new std::uint8_t[2]{1, 1});
    screen.blitterTable.reset(new std::uint32_t[512]);
    const Blitter copy = chooseBlitter(screen, 32, false);
    ASSERT_NE(copy, nullptr);

    FakeSurface primary;
    FakeSurface back;
    primary.lost = back.lost = true;
    back.restorable = false; // the display is still someone else's
    EXPECT_FALSE(drawDirtyRows(primary, &back, back, screen, copy, 1));
    EXPECT_EQ(primary.restores, 1);
    EXPECT_EQ(back.restores, 1);
    EXPECT_EQ(back.memory, std::vector<std::uint8_t>(128, 0xA5)) << "drawn while lost";

    back.restorable = true; // the next pass gets it back
    EXPECT_TRUE(drawDirtyRows(primary, &back, back, screen, copy, 1));
    EXPECT_EQ(back.locked, 0) << "left locked";
    // Two rows one line down: line 0 and line 3 untouched.
    for (std::size_t i = 0; i < back.memory.size(); ++i) {
        EXPECT_EQ(back.memory[i], i >= 32 && i < 96 ? 0x11 : 0xA5) << "byte " << i;
    }

    // Full screen: the primary is the drawing surface, and there is no back surface.
    primary.lost = true;
    EXPECT_TRUE(
        drawDirtyRows(primary, static_cast<FakeSurface*>(nullptr), primary, screen, copy, 0));
    EXPECT_EQ(primary.restores, 3);
    EXPECT_EQ(primary.memory[0], 0x11);
}

TEST(DirectXDriver, DisplayModesIncludeTheDesktopsOwn) {
    std::int32_t count = -1;
    const std::int32_t* sizes = DIRECTX_DISPLAY_DRIVER.fetchModes(32, &count);
    ASSERT_GT(count, 0) << "no 32-bit display mode, or no DirectDraw";
    const std::int32_t desktop =
        ::GetSystemMetrics(SM_CXSCREEN) << 16 | ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NE(std::find(sizes, sizes + count, desktop), sizes + count);
    DIRECTX_DISPLAY_DRIVER.fetchModes(12, &count);
    EXPECT_EQ(count, 0);
}

} // namespace
} // namespace ulo
