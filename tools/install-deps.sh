#!/bin/bash
# Installs what building and testing Pelmora needs (Debian 12, as root).
set -euo pipefail
packages=(
    cmake ninja-build make python3 curl
    python3-cryptography                           # signing in tools/publisher
    clang libclang-rt-14-dev libgtest-dev          # native build, sanitizers, libFuzzer
    mingw-w64 g++-mingw-w64-x86-64                 # cross build (posix thread model)
    wine wine64 xvfb imagemagick fonts-wqy-microhei  # running and looking at it
    nsis wixl                                      # real installers for tests; the MSI
    osslsigncode openssl                           # Authenticode signatures; test publishers
    nginx-light                                    # a real server for the benchmark
    squid apache2-utils                            # a real (authenticating) proxy for tests
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
