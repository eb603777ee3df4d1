#!/usr/bin/env bash
# Fetches Debian source packages (their upstream tarballs) into a folder, for
# the libraries that the Windows builds cross-compile themselves: Debian ships
# them for Linux only. Usage: fetch-sources.sh DEST PACKAGE...
# Each package is fetched once: a folder that has its upstream tarball keeps it.
set -euo pipefail
dest=$1; shift
mkdir -p "$dest"

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

# The source archive of the release this machine runs, in a sources file of
# our own so that the system's own list stays as it is.
list=/etc/apt/sources.list.d/r6odi-deb-src.sources
if [ ! -f "$list" ]; then
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    | $sudo_cmd tee "$list" >/dev/null
  $sudo_cmd apt-get update -qq
fi

# Only the upstream tarball is used. Some of Debian's own patch tarballs are
# missing from the archive (cfitsio's), which fails the download as a whole
# although the upstream tarball has arrived: what counts is that one.
cd "$dest"
chmod a+rwx .
for p in "$@"; do
  if ! ls "${p}"_*.orig.tar.* >/dev/null 2>&1; then
    apt-get source --download-only -qq "$p" >/dev/null 2>&1 || true
  fi
  if ! ls "${p}"_*.orig.tar.* >/dev/null 2>&1; then
    echo "fetch-sources: no upstream tarball of $p from Debian's source archive" >&2
    exit 1
  fi
done
