#!/usr/bin/env bash
# Builds the plug-in, installs it into ~/.vst3 and loads it there as a host would.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target VontaleerBinaural_VST3 vbhost

bundle="Vontaleer Binaural.vst3"
mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/$bundle"
cp -r "build/plugin/VontaleerBinaural_artefacts/Release/VST3/$bundle" "$HOME/.vst3/"
build/tools/vbhost info "$HOME/.vst3/$bundle"

# A short demonstration: a noise burst stepped through every loudspeaker of
# "Dolby 7.1.4", rendered binaurally in the "Mixing studio".
build/tools/vbhost render "$HOME/.vst3/$bundle" --layout 11 --room 1 --out build/demo-7.1.4.wav
