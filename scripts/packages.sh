# Shared by scripts/run, scripts/test and scripts/package: installs the Debian packages that are
# missing.
# Sourced, not run.

# libpng-dev: pictures of the framebuffer (tests, documentation); libncurses-dev: ncursesw, the
# terminal library of the terminal console; libsdl2-dev: the window library's headers (the
# library itself is loaded at run time); libx11-dev: the window tests' view of the X server;
# libgl-dev: OpenGL's headers, for the test that draws into the OpenGL window.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
    libpng-dev libncurses-dev libsdl2-dev libx11-dev libgl-dev)
# dpkg-dev: dpkg-shlibdeps, which finds the Debian package's dependencies; lintian: Debian's
# checks of the package, which must find neither an error nor a warning.
PACKAGE_PACKAGES=(dpkg-dev lintian)
# tmux: the real terminal of the terminal-session tests; xvfb and xdotool: the private X server
# and the typing of the window tests; libgl1-mesa-dri: OpenGL on that server, for the window
# tests that present through an OpenGL renderer or draw into the OpenGL window; groff-base and
# desktop-file-utils: the install tests' checks of the manual page and the menu entry (they build
# the Debian package and check it too).
TEST_PACKAGES=(tmux xvfb xdotool libgl1-mesa-dri groff-base desktop-file-utils
    "${PACKAGE_PACKAGES[@]}")
# clang and libclang-rt-dev (its libFuzzer and sanitizer run-times): the fuzz targets.
FUZZ_PACKAGES=(clang libclang-rt-dev)

# The Windows build: the 32-bit x86 MinGW-w64 compilers with the posix thread model (std::thread
# and std::mutex need it), the host compiler and build tools for the build-time tools, and
# GoogleTest's sources (googletest), built for the target.
WINDOWS_BUILD_PACKAGES=(cmake ninja-build g++ g++-mingw-w64-i686-posix googletest)
# The setup program: NSIS's compiler makensis, which CPack runs (the archive needs no tool).
WINDOWS_PACKAGE_PACKAGES=(nsis)
# Running and testing it: Wine (wine32 for 32-bit programs), Mesa for the graphics drivers (Wine's
# DirectDraw draws through OpenGL; without Mesa a surface in video memory cannot be made), the
# private X server, tmux for the console, ImageMagick and the X utilities for pictures, and the X
# library's headers for the window tests' close request; NSIS for the tests of the setup program.
# Where the machine runs no 32-bit programs, the tests run a 64-bit build under wine64, which
# needs the 64-bit Mesa.
WINDOWS_TEST_PACKAGES=(wine wine32:i386 wine64 libgl1:i386 libgl1-mesa-dri:i386 libgl1
    libgl1-mesa-dri g++-mingw-w64-x86-64-posix xvfb xdotool imagemagick x11-utils tmux libx11-dev
    "${WINDOWS_PACKAGE_PACKAGES[@]}")

# The browser's build: Debian's Emscripten (with its clang, binaryen and the acorn module its
# optimiser runs on node), and Python for serving the site. Its tests drive Debian's Chromium
# through playwright-core from npm.
WEB_BUILD_PACKAGES=(cmake ninja-build g++ emscripten nodejs python3)
WEB_TEST_PACKAGES=(chromium)

# ensure_packages NAME...: installs those of NAME... that are not installed yet (as root, or
# through sudo when there is one).
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "need root to install: ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}" >&2
    # Other programs may be installing packages at the same time: wait for their lock.
    local wait=(-o DPkg::Lock::Timeout=600)
    # A mirror in the middle of a sync serves indexes that do not match (seen for the i386
    # half): the update and the install are tried again a little later before giving up, up to
    # install_attempts times (4 unless the caller says).
    local attempt attempts=${install_attempts:-4}
    for ((attempt = 1; attempt <= attempts; attempt++)); do
        if "${sudo[@]}" apt-get "${wait[@]}" update -qq >&2 &&
            DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "${wait[@]}" install -y -qq \
                --no-install-recommends "${missing[@]}" >&2; then
            return 0
        fi
        [ "$attempt" -lt "$attempts" ] || break
        echo "Installing failed; trying again in $((attempt * 30)) s" >&2
        sleep $((attempt * 30))
    done
    return 1
}

# ensure_windows_packages [test | package]: what the Windows build needs; with "package" also
# what making its setup program needs, with "test" also what running and testing it under Wine
# needs. Wine's 32-bit half comes from the i386 architecture.
ensure_windows_packages() {
    local packages=("${WINDOWS_BUILD_PACKAGES[@]}")
    [ "${1:-}" != package ] || packages+=("${WINDOWS_PACKAGE_PACKAGES[@]}")
    if [ "${1:-}" = test ]; then
        packages+=("${WINDOWS_TEST_PACKAGES[@]}")
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            local sudo=()
            [ "$(id -u)" -ne 0 ] && sudo=(sudo)
            "${sudo[@]}" dpkg --add-architecture i386
        fi
    fi
    # The i386 half has a way round (below): one retry is enough for it.
    local attempts=4
    [ "${1:-}" != test ] || attempts=2
    install_attempts=$attempts ensure_packages "${packages[@]}" && return 0
    [ "${1:-}" = test ] || return 1
    # Without the i386 half (a mirror that serves it broken, a machine without it) the tests run
    # the 64-bit build under wine64, which needs nothing of it.
    echo "The 32-bit half of Wine cannot be installed: testing the 64-bit build" >&2
    local package native=()
    for package in "${packages[@]}"; do
        [[ $package == *:i386 ]] || native+=("$package")
    done
    ensure_packages "${native[@]}"
}

# ensure_web_packages [test]: what the browser's build needs, with "test" also what its tests
# need. npm comes with some builds of node; Debian's own package is installed only where there is
# no npm at all.
ensure_web_packages() {
    local packages=("${WEB_BUILD_PACKAGES[@]}")
    [ "${1:-}" != test ] || packages+=("${WEB_TEST_PACKAGES[@]}")
    command -v npm >/dev/null || [ "${1:-}" != test ] || packages+=(npm)
    ensure_packages "${packages[@]}"
}

# What the browser's build takes from Emscripten's cache: the system headers and the system
# libraries that the link of ulo.js asks for.
EMSCRIPTEN_PREBUILT_LIBRARIES=(libc.a libc++-noexcept.a libc++abi-noexcept.a libcompiler_rt.a
    libdlmalloc.a libstubs.a libsockets.a libhtml5.a libGL.a libal.a struct_info.json)

# seed_emscripten_cache: Emscripten builds its system libraries into its cache on first use,
# minutes of work on every fresh clone; Debian's package ships them built. The build's own cache
# (build/web/emscripten-cache, which the build may write to) starts as a copy of what it takes
# from Debian's; anything missing from it is still built there on demand.
seed_emscripten_cache() {
    local from=/usr/share/emscripten/cache to="$root/build/web/emscripten-cache"
    [ -d "$from/sysroot" ] && [ ! -e "$to/sysroot" ] || return 0
    local libraries="sysroot/lib/wasm32-emscripten" name
    mkdir -p "$to/$libraries"
    cp -a "$from/sysroot/include" "$from/sysroot/bin" "$to/sysroot/"
    cp -a "$from/sysroot/lib/cmake" "$from/sysroot/lib/pkgconfig" "$to/sysroot/lib/"
    for name in "${EMSCRIPTEN_PREBUILT_LIBRARIES[@]}"; do
        [ ! -e "$from/$libraries/$name" ] || cp -a "$from/$libraries/$name" "$to/$libraries/"
    done
    [ ! -e "$from/sysroot_install.stamp" ] || cp -a "$from/sysroot_install.stamp" "$to/"
}

# build_preset NAME: configures and builds one preset of the project.
build_preset() {
    [ "$1" != web ] || seed_emscripten_cache
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
