#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache git patch
  juce-modules-source
  libgtest-dev googletest
  clang libclang-rt-14-dev
  libasound2-dev libfreetype-dev libfontconfig1-dev libpng-dev libjpeg-dev
  libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev libxcomposite-dev libgl-dev
  xvfb xauth fonts-dejavu-core
  x11-apps netpbm
  ardour
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
