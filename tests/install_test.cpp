// Ulo as it is installed: the tree that `cmake --install` makes (program, manual page, icons, menu
// entry) and the Debian package made of it, checked and unpacked here, or (when asked for)
// installed on this machine, used from PATH and removed again.
#include "posix/sdl_icon.hpp"
#include "support/child_process.hpp"
#include "support/test_support.hpp"
#include "support/virtual_display.hpp"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ulo {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::readFile;

constexpr int ICON_SIZES[] = {16, 32, 64, 128, 256};
// How long apt-get waits for another program's package manager lock, in seconds.
const std::string LOCK_WAIT = "600";

struct Result {
    std::string output; // standard output and standard error
    int exitCode;
};

// Runs `script` with /bin/sh in `directory`; $1, $2... are `arguments`.
Result shell(const std::string& script, const fs::path& directory,
             const std::vector<std::string>& arguments = {},
             const std::vector<std::string>& environment = {}) {
    std::vector<std::string> shellArguments = {"-c", "exec 2>&1\n" + script, "sh"};
    shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
    ChildProcess child("/bin/sh", shellArguments, directory.string(), environment);
    child.closeInput();
    Result result;
    result.output = child.readAll(std::chrono::minutes(12));
    result.exitCode = child.wait(std::chrono::minutes(1));
    return result;
}

// The window's icon at size x size, scaled the way the icon theme's pictures must be: RGBA bytes.
std::vector<std::uint8_t> expectedIcon(int size) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const std::uint32_t argb = programIcon()[(y * SDL_ICON_SIZE / size) * SDL_ICON_SIZE +
                                                     x * SDL_ICON_SIZE / size];
            for (const int shift : {16, 8, 0, 24}) {
                rgba.push_back(static_cast<std::uint8_t>(argb >> shift));
            }
        }
    }
    return rgba;
}

::testing::AssertionResult iconMatches(const fs::path& path, int size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return ::testing::AssertionFailure() << "cannot read " << path << ": " << image.message;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) == 0) {
        return ::testing::AssertionFailure() << "cannot decode " << path << ": " << image.message;
    }
    if (static_cast<int>(image.width) != size || static_cast<int>(image.height) != size) {
        return ::testing::AssertionFailure()
               << path << " is " << image.width << "x" << image.height;
    }
    if (rgba != expectedIcon(size)) {
        return ::testing::AssertionFailure() << path << " is not the window's icon";
    }
    return ::testing::AssertionSuccess();
}

// The value of `key` in the desktop entry's text (empty when missing).
std::string desktopValue(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(key + "=")) {
            return line.substr(key.size() + 1);
        }
    }
    return "";
}

const std::string HELLO_RECORD = "\"hello\",\"&&$&&\",\"&&$&&\"\r\n";

// Where a start from the menu happens: a home folder, and a working folder elsewhere that the
// program must leave alone.
struct MenuStart {
    explicit MenuStart(const fs::path& scratch)
        : home(scratch / "home"), elsewhere(scratch / "elsewhere") {
        fs::create_directories(home);
        fs::create_directories(elsewhere);
    }
    fs::path home;
    fs::path elsewhere;
};

// Runs the menu entry's command as a desktop does, with `bin` first on PATH and no desktop: Ulo
// talks through the pipe, which carries a short conversation.
void startFromMenuThroughAPipe(const std::string& exec, const fs::path& bin,
                               const MenuStart& start) {
    const Result started =
        shell("printf 'hello\\nexit\\n' | eval \"$1\"", start.elsewhere, {exec},
              {"HOME=" + start.home.string(), "PATH=" + bin.string() + ":/usr/bin:/bin"});
    EXPECT_EQ(started.exitCode, 0) << started.output;
    EXPECT_TRUE(started.output.starts_with("Ulo V.3 01-09-07\n")) << started.output;
    EXPECT_EQ(readFile(start.home / "data.dat"), HELLO_RECORD);
    EXPECT_TRUE(fs::is_empty(start.elsewhere));
}

// Runs the menu entry's command on a private X server, with `bin` first on PATH: the window opens,
// learns a sentence into the home folder and ends on exit.
void startFromMenuOnADesktop(const std::string& exec, const fs::path& bin, const MenuStart& start) {
    testing::VirtualDisplay display;
    ASSERT_TRUE(display.running()) << "Xvfb did not start";
    // A desktop starts it with no input: piped input would be read instead of the window's keys.
    ChildProcess ulo("/bin/sh", {"-c", exec + " </dev/null"}, start.elsewhere.string(),
                     {"DISPLAY=" + display.name(), "HOME=" + start.home.string(),
                      "PATH=" + bin.string() + ":/usr/bin:/bin", "SDL_RENDER_DRIVER=software"});
    const auto window = display.findWindow("ulo");
    ASSERT_TRUE(window.has_value()) << "no window titled ulo";
    display.type(*window, "hello");
    display.press(*window, "Return");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (readFile(start.home / "data.dat") != HELLO_RECORD &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(readFile(start.home / "data.dat"), HELLO_RECORD);
    display.type(*window, "exit");
    display.press(*window, "Return");
    EXPECT_EQ(ulo.wait(), 0);
    EXPECT_TRUE(fs::is_empty(start.elsewhere));
}

TEST(Install, PutsProgramManualIconsAndMenuEntryWhereTheDesktopLooks) {
    testing::TemporaryDirectory scratch;
    const fs::path destination = scratch.path() / "destination";
    const Result installed =
        shell("\"$1\" --install \"$2\" --prefix /usr", scratch.path(),
              {CMAKE_COMMAND, ULO_BUILD_DIR}, {"DESTDIR=" + destination.string()});
    ASSERT_EQ(installed.exitCode, 0) << installed.output;
    const fs::path usr = destination / "usr";

    const fs::path program = usr / "bin/ulo";
    ASSERT_EQ(::access(program.c_str(), X_OK), 0) << program;
    EXPECT_TRUE(shell("\"$1\" --version", scratch.path(), {program.string()})
                    .output.starts_with("ulo " ULO_VERSION "\n"));

    // The manual page renders without a single warning and tells what the program reads.
    const fs::path manual = usr / "share/man/man6/ulo.6.gz";
    const Result checked =
        shell("gzip -dc \"$1\" | groff -man -Tutf8 -ww -z", scratch.path(), {manual.string()});
    EXPECT_EQ(checked.exitCode, 0);
    EXPECT_EQ(checked.output, "") << "groff warns";
    const Result page = shell("gzip -dc \"$1\" | groff -man -Tascii -P-c -P-b -P-u", scratch.path(),
                              {manual.string()});
    for (const char* topic : {"--help", "--version", "VXGFX", "data.dat", "temp.dat", "KEYS",
                              "EXIT STATUS", "ulo " ULO_VERSION}) {
        EXPECT_NE(page.output.find(topic), std::string::npos) << topic;
    }

    for (const int size : ICON_SIZES) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        EXPECT_TRUE(iconMatches(usr / "share/icons/hicolor" / name / "apps/ulo.png", size));
    }

    const fs::path entry = usr / "share/applications/ulo.desktop";
    const Result validated =
        shell("desktop-file-validate \"$1\"", scratch.path(), {entry.string()});
    EXPECT_EQ(validated.exitCode, 0);
    EXPECT_EQ(validated.output, "");
    const std::string text = readFile(entry);
    EXPECT_EQ(desktopValue(text, "Terminal"), "false");
    EXPECT_EQ(desktopValue(text, "Icon"), "ulo");
    startFromMenuThroughAPipe(desktopValue(text, "Exec"), usr / "bin", MenuStart(scratch.path()));
}

// Makes the Debian package of the build with cpack in `work`; empty when that failed.
fs::path makePackage(const fs::path& work) {
    const Result made = shell("\"$1\" --config \"$2/CPackConfig.cmake\" -B \"$3\"", work,
                              {CPACK_COMMAND, ULO_BUILD_DIR, (work / "made").string()});
    EXPECT_EQ(made.exitCode, 0) << made.output;
    for (const auto& file : fs::directory_iterator(work / "made")) {
        if (file.path().extension() == ".deb") {
            return file.path();
        }
    }
    return {};
}

const std::vector<std::string> PACKAGE_FILES = {
    "/usr/bin/ulo",
    "/usr/share/man/man6/ulo.6.gz",
    "/usr/share/applications/ulo.desktop",
    "/usr/share/icons/hicolor/256x256/apps/ulo.png",
    "/usr/share/doc/ulo/copyright",
    "/usr/share/doc/ulo/changelog.gz",
};

// The copyright file's licence paragraphs as plain text: the continuation lines after "License:",
// each without its leading space, and " ." as an empty line.
std::string copyrightLicenceText(const std::string& copyright) {
    std::istringstream lines(copyright);
    std::string text;
    bool inLicence = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("License:")) {
            inLicence = true;
        } else if (inLicence && line.starts_with(" ")) {
            text += (line == " ." ? "" : line.substr(1)) + "\n";
        } else {
            inLicence = false;
        }
    }
    return text;
}

// The package checked without changing this machine: its fields, lintian's verdict, its files
// unpacked into a folder of the test, and the program started from there by its menu entry.
TEST(DebianPackage, IsCleanForLintianAndRunsUnpackedFromItsMenuEntry) {
#ifdef ULO_SANITIZED
    GTEST_SKIP() << "the package is tested from a build without sanitizers";
#endif
    testing::TemporaryDirectory scratch;
    const fs::path work = scratch.path();
    const fs::path package = makePackage(work);
    ASSERT_TRUE(package.filename().string().starts_with("ulo_" ULO_VERSION "_")) << package;
    const std::string depends =
        shell("dpkg-deb -f \"$1\" Depends", work, {package.string()}).output;
    for (const char* library : {"libc6", "libstdc++6", "libncursesw6"}) {
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
    }
    EXPECT_EQ(depends.find("sdl"), std::string::npos) << depends;
    EXPECT_EQ(shell("dpkg-deb -f \"$1\" Recommends", work, {package.string()}).output,
              "libsdl2-2.0-0\n");

    const Result lintian =
        shell("lintian --fail-on error,warning \"$1\"", work, {package.string()});
    EXPECT_EQ(lintian.exitCode, 0) << lintian.output;
    EXPECT_EQ(lintian.output.find("W: "), std::string::npos) << lintian.output;
    EXPECT_EQ(lintian.output.find("E: "), std::string::npos) << lintian.output;

    const fs::path root = work / "root";
    const Result unpacked =
        shell("dpkg-deb -x \"$1\" \"$2\"", work, {package.string(), root.string()});
    ASSERT_EQ(unpacked.exitCode, 0) << unpacked.output;
    for (const std::string& file : PACKAGE_FILES) {
        EXPECT_TRUE(fs::is_regular_file(root.string() + file)) << file;
    }
    const std::string copyright = readFile(root / "usr/share/doc/ulo/copyright");
    EXPECT_TRUE(copyright.starts_with(
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
        << copyright;
    EXPECT_NE(copyright.find("\nCopyright: 2026 The Ulo developers\nLicense: Expat\n"),
              std::string::npos)
        << copyright;
    const std::string licence = readFile(ULO_SOURCE_DIR "/LICENSE");
    EXPECT_EQ(copyrightLicenceText(copyright),
              licence.substr(licence.find("Permission is hereby granted")));
    EXPECT_TRUE(shell("gzip -dc \"$1\"", work, {(root / "usr/share/doc/ulo/changelog.gz").string()})
                    .output.starts_with("ulo (" ULO_VERSION ") "));

    const std::string entry = readFile(root / "usr/share/applications/ulo.desktop");
    startFromMenuOnADesktop(desktopValue(entry, "Exec"), root / "usr/bin", MenuStart(work));
}

// Removes the package when a test that installed it ends early.
struct PackageRemover {
    ~PackageRemover() {
        if (installed) {
            shell("apt-get -o DPkg::Lock::Timeout=" + LOCK_WAIT + " remove -y ulo", "/", {},
                  {"DEBIAN_FRONTEND=noninteractive"});
        }
    }
    bool installed = false;
};

// The package installed on this machine itself, used from PATH and removed again. It changes the
// machine, so it runs only when asked for: `ctest --preset install-on-this-machine`.
TEST(DebianPackage, InstallsOnThisMachineRunsFromPathAndRemovesCleanly) {
#ifdef ULO_SANITIZED
    GTEST_SKIP() << "the package is tested from a build without sanitizers";
#endif
    if (::geteuid() != 0) {
        GTEST_SKIP() << "installing a package needs root";
    }
    testing::TemporaryDirectory scratch;
    const fs::path work = scratch.path();
    if (shell("dpkg-query -W -f='${db:Status-Status}' ulo", work).output == "installed") {
        GTEST_SKIP() << "a ulo package is installed on this machine already; left alone";
    }
    const fs::path package = makePackage(work);
    ASSERT_FALSE(package.empty());

    PackageRemover remover;
    const std::vector<std::string> quiet = {"DEBIAN_FRONTEND=noninteractive"};
    const Result installed = shell("apt-get -o DPkg::Lock::Timeout=" + LOCK_WAIT +
                                       " install -y --no-install-recommends \"$1\"",
                                   work, {package.string()}, quiet);
    remover.installed = true;
    ASSERT_EQ(installed.exitCode, 0) << installed.output;
    const std::string fileList = shell("dpkg -L ulo", work).output;
    for (const std::string& file : PACKAGE_FILES) {
        EXPECT_NE(fileList.find(file + "\n"), std::string::npos) << file;
    }

    fs::create_directories(work / "run");
    const Result ran = shell("command -v ulo && printf 'hello\\nexit\\n' | ulo", work / "run", {},
                             {"PATH=/usr/bin:/bin"});
    EXPECT_EQ(ran.exitCode, 0) << ran.output;
    EXPECT_TRUE(ran.output.starts_with("/usr/bin/ulo\nUlo V.3 01-09-07\n\nhello\n")) << ran.output;
    EXPECT_EQ(readFile(work / "run/data.dat"), HELLO_RECORD);

    const Result removed =
        shell("apt-get -o DPkg::Lock::Timeout=" + LOCK_WAIT + " remove -y ulo", work, {}, quiet);
    remover.installed = removed.exitCode != 0;
    ASSERT_EQ(removed.exitCode, 0) << removed.output;
    const std::string status = shell("dpkg-query -W -f='${db:Status-Status}' ulo", work).output;
    EXPECT_TRUE(status == "not-installed" || status.find("no packages found") != std::string::npos)
        << status;
    std::istringstream files(fileList);
    for (std::string file; std::getline(files, file);) {
        EXPECT_TRUE(fs::is_directory(file) || !fs::exists(file)) << file << " is left";
    }
}

} // namespace
} // namespace ulo
