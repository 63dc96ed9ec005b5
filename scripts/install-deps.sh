#!/usr/bin/env bash
# Installs every package the build and the tests need on a fresh Debian 12 machine.
# Safe to run again: it installs only what is missing.
set -euo pipefail

native=(build-essential cmake ninja-build pkg-config
        libgtest-dev libgmock-dev libbenchmark-dev
        libsqlite3-dev sqlite3 libcli11-dev libpugixml-dev libpcre2-dev libre2-dev libhyperscan-dev
        clang-14 libfuzzer-14-dev libclang-rt-14-dev clang-format clang-tidy jq python3)
cross=(g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
       wine wine32:i386 wine64 wine64-tools nsis strip-nondeterminism diffoscope)

want=("${native[@]}")
if [ "${MURL_NATIVE_ONLY:-0}" != 1 ]; then
    want+=("${cross[@]}")
fi

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}" >&2
if [[ " ${missing[*]} " == *":i386"* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
