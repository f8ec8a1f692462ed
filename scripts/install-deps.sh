#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (as root, or
# through sudo). Does nothing when they are all there already.
set -euo pipefail

# chromium, firefox-esr and openssl: the browser suite (tests/browser)
# drives Debian's Chromium and Firefox ESR and makes a throwaway certificate;
# Node.js and npm come with the machine. clang and libclang-rt-14-dev
# (libFuzzer and the sanitizer runtimes) build the fuzz targets. python3
# runs the simulated phone (tests/sim) of the real-tools tests and of
# scripts/demo.sh, and serves web/ for scripts/run.sh and scripts/demo.sh.
# mkbootimg and android-sdk-libsparse-utils (img2simg) make the boot,
# vendor_boot and sparse images the real-tools tests flash.
packages=(cmake g++ make googletest libgtest-dev g++-mingw-w64-x86-64 wine64 adb fastboot curl unzip zip
  chromium firefox-esr openssl clang libclang-rt-14-dev python3 mkbootimg android-sdk-libsparse-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

# Another installer may hold the dpkg lock for a while; wait for it.
for _ in $(seq 1 120); do
  if ! fuser /var/lib/dpkg/lock-frontend /var/lib/dpkg/lock >/dev/null 2>&1; then break; fi
  sleep 5
done

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null
