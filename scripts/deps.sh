#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12, if it is missing.
set -euo pipefail

packages=(
    cmake make g++ libgtest-dev googletest libwine-dev
    mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 wine32:i386 xvfb xauth locales fonts-ipafont-gothic
    imagemagick x11-apps x11-utils xdotool zip
    clang libclang-rt-14-dev clang-format clang-tidy
)

# The commands the scripts run (in /usr/bin unless a path is given), each with the package that
# makes it. dpkg still lists a package whose file was removed by hand: such a package is
# installed again.
commands=(
    cmake=cmake ctest=cmake make=make "g++=g++"
    "x86_64-w64-mingw32-g++=g++-mingw-w64-x86-64" "i686-w64-mingw32-g++=g++-mingw-w64-i686"
    x86_64-w64-mingw32-objdump=binutils-mingw-w64-x86-64 x86_64-w64-mingw32-windres=binutils-mingw-w64-x86-64
    i686-w64-mingw32-objdump=binutils-mingw-w64-i686
    wine=wine wineserver=wine wineboot=wine /usr/lib/wine/wine64=wine64 /usr/lib/wine/wine=wine32:i386
    Xvfb=xvfb xvfb-run=xvfb xauth=xauth /usr/sbin/locale-gen=locales
    import=imagemagick-6.q16 xwd=x11-apps xdotool=xdotool zip=zip
    clang=clang "clang++=clang" clang-format=clang-format clang-tidy=clang-tidy
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
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
for entry in "${commands[@]}"; do
    path=${entry%%=*}
    [[ $path == /* ]] || path=/usr/bin/$path
    [ -x "$path" ] && continue
    # The package that owns the file the command leads to (a link's package when the link is
    # gone, the target's when only the target is); a link made by update-alternatives has no
    # owner, and the listed package makes it again.
    owner=$(dpkg-query -S "$(readlink -m "$path")" 2>/dev/null | sed -n '1{s/: [^ ]*$//;s/, .*//;p}' || true)
    echo "Missing: $path"
    missing+=("${owner:-${entry#*=}}")
done

if [ ${#missing[@]} -gt 0 ]; then
    mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    # --reinstall: a package that dpkg lists but whose command is gone.
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# Wine must run in code page 932 for the program's Shift-JIS texts.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "Generating the ja_JP.UTF-8 locale"
    as_root sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi
