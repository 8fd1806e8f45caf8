#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12, if it is missing.
set -euo pipefail

# Each package, with a command it gives (in /usr/bin unless a path is given): dpkg still lists a
# package whose file was removed by hand, and such a package is installed again.
packages=(
    cmake make g++ libgtest-dev=/usr/include/gtest/gtest.h googletest libwine-dev=/usr/include/wine/wine/windows/windows.h
    mingw-w64 g++-mingw-w64-x86-64=x86_64-w64-mingw32-g++ g++-mingw-w64-i686=i686-w64-mingw32-g++
    binutils-mingw-w64-x86-64=x86_64-w64-mingw32-objdump wine=wineserver wine64=/usr/lib/wine/wine64
    wine32:i386=/usr/lib/wine/wine xvfb=xvfb-run xauth locales=/usr/share/i18n/locales/ja_JP fonts-ipafont-gothic
    imagemagick=import x11-apps=xwd x11-utils xdotool zip clang libclang-rt-14-dev clang-format clang-tidy
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The x86 exe runs on 32-bit Wine, whose packages come from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture"
    as_root dpkg --add-architecture i386
fi

missing=()
for entry in "${packages[@]}"; do
    package=${entry%%=*} path=${entry#*=}
    [[ $path == /* ]] || path=/usr/bin/$path
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" && { [[ $entry != *=* ]] || [ -e "$path" ]; } ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    # --reinstall: a package that dpkg lists but whose command is gone.
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# Wine must run in code page 932 for the program's Shift-JIS texts.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "Generating the ja_JP.UTF-8 locale"
    as_root localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
