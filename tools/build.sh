#!/bin/bash
# Builds both trees: build/win (Pelmora.exe and Windows tests, cross-built)
# and build/native (Windows-free logic under sanitizers, fuzzers).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
what="${1:-all}"
# ccache, where the machine has it, makes rebuilds of other checkouts cheap.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
fi
if [ "$what" = all ] || [ "$what" = win ]; then
    # PELMORA_PUBLIC_KEY (128 hex digits) builds the maker's key in; without
    # it, PELMORA_PUBLISHER (certificate thumbprints) names whose signature an
    # installer must carry. PELMORA_SIGN_CERT, PELMORA_SIGN_KEY and
    # PELMORA_SIGN_TIMESTAMP sign the outputs (docs/publishing.md; without a
    # certificate, with the build tree's test publisher). Once set, the build
    # tree keeps each until it is set again (empty: none).
    key=()
    for name in PELMORA_PUBLIC_KEY PELMORA_PUBLISHER PELMORA_SIGN_CERT PELMORA_SIGN_KEY \
        PELMORA_SIGN_TIMESTAMP; do
        if [ -n "${!name+set}" ]; then key+=(-D"$name=${!name}"); fi
    done
    cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "${key[@]}" "${launcher[@]}" >/dev/null
    cmake --build build/win
fi
if [ "$what" = all ] || [ "$what" = native ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
    cmake --build build/native
fi
