#!/usr/bin/env bash
# Installs what the builds and tests need from Debian's packages, when it is
# missing. Safe to run again; does nothing when everything is there.
set -euo pipefail

# qemu-user and wine32:i386 run the 32-bit product's test programs: this
# machine cannot execute 32-bit code itself (scripts/wine-run.sh).
packages=(cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          wine64 xvfb xauth clang libclang-rt-dev python3 imagemagick
          pkg-config libcli11-dev libcfitsio-dev libpng-dev fitsverify python3-astropy python3-numpy python3-ccdproc
          qemu-user zip wine32:i386
          nlohmann-json3-dev libcpp-httplib-dev)   # r6odi-alpaca

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  # wine32:i386 needs the i386 architecture, and the package lists must
  # then be read again to know its packages.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
  fi
  $sudo_cmd apt-get update -qq
  native=()
  foreign=()
  for p in "${missing[@]}"; do
    case $p in *:i386) foreign+=("$p") ;; *) native+=("$p") ;; esac
  done
  if [ ${#native[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${native[@]}" >/dev/null
  fi
  # Without recommends: wine32's would bring a desktop's worth of 32-bit
  # libraries that a headless test run never loads.
  if [ ${#foreign[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
      "${foreign[@]}" >/dev/null
  fi
fi
