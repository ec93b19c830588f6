// The Windows run-time start and program path (the clocks are tested with the timer).
#include "runtime/platform.hpp"
#include "runtime/runtime.hpp"

#include <gtest/gtest.h>

#include <cfenv>
#include <filesystem>
#include <float.h>
#include <windows.h>

namespace ulo {
namespace {

TEST(WindowsRuntime, StartSetsTheFloatingPointUnit) {
    std::fesetround(FE_TOWARDZERO);
#if defined(__i386__)
    // A process may come with another precision and rounding (one set up by a graphics library,
    // say); the start puts the x87 unit back to the full mantissa and rounding to nearest.
    unsigned int current = 0;
    ::_controlfp_s(&current, _PC_53 | _RC_CHOP, _MCW_PC | _MCW_RC);
#endif
    runtimeStart(0, nullptr);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
#if defined(__i386__)
    const unsigned int control = ::_controlfp(0, 0);
    EXPECT_EQ(control & _MCW_PC, static_cast<unsigned int>(_PC_64));
    EXPECT_EQ(control & _MCW_RC, static_cast<unsigned int>(_RC_NEAR));
#endif
}

TEST(WindowsProgramPath, IsTheRunningProgramFile) {
    const std::string path = nativePlatform().programFilePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");
    EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path))) << path;
}

// The program file carries its icon under the name the window class loads it by.
TEST(WindowsProgramFile, CarriesItsIcon) {
    const HMODULE program = ::LoadLibraryExW(std::filesystem::path(ULO_BINARY).wstring().c_str(),
                                             nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr) << ULO_BINARY;
    const auto icon = static_cast<HICON>(
        ::LoadImageW(program, L"VX_PROGRAM_ICON", IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP colour{};
    ASSERT_NE(::GetObjectW(info.hbmColor, sizeof colour, &colour), 0);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
    ::FreeLibrary(program);
}

} // namespace
} // namespace ulo
