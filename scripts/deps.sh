#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, where missing.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libsdl2-dev libfreetype-dev libfontconfig-dev libpng-dev
  libgtest-dev libbenchmark-dev
  fonts-dejavu-core
  xvfb xdotool x11-utils desktop-file-utils
  valgrind clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
