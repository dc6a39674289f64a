#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tellvar needs,
# and only those that are missing, so a second run costs nothing.
set -euo pipefail

# dpkg-dev unpacks the codec libraries' source packages for the sanitizer
# build (scripts/codec-libs.sh).
packages=(
  cmake g++ make pkg-config
  clang libclang-rt-dev dpkg-dev
  libjpeg62-turbo-dev libtiff-dev
  googletest libgtest-dev libbenchmark-dev
  libwxgtk3.2-dev libx11-dev
  xvfb xauth
  # The GUI tests' third run: a window manager, and xprop to see it is up.
  openbox x11-utils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run this script as root (or install them with apt-get) and try again." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
