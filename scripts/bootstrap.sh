#!/usr/bin/env bash
# Installs the Debian packages the build needs and that are missing.
#   scripts/bootstrap.sh          what building and testing on Linux needs
#   scripts/bootstrap.sh --all    also the 32-bit, Windows, Wine and fuzzing tools
#                                 (32-bit Wine comes from Debian's i386 architecture,
#                                 which --all adds when the machine lacks it)
set -euo pipefail

# python3-pytest and doxygen: the Python binding's tests and the reference docs.
# The stand-in's .msg and .pst readers: libgsf (compound files) and libpff
# (whose header includes libbfio's without depending on its -dev package),
# found through pkg-config.
packages=(cmake make g++ libgtest-dev python3 python3-pytest doxygen
          pkg-config libgsf-1-dev libpff-dev libbfio-dev)
if [ "${1:-}" = "--all" ]; then
    # pip: the install check builds and installs as a user would.
    packages+=(python3-pip
               g++-multilib g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
               wine wine64 wine32:i386 clang clang-format libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing: ${missing[*]}"
# wine32:i386 runs the i686 Windows build; its packages come with the i386
# architecture, which the package lists must then be read again for.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
