#!/usr/bin/env bash
# Shows the built plug-in's editor in a real window on a virtual X server and
# saves the server's picture of that window as a PNG.
#   scripts/capture-editor.sh [OUT.png] [BUILD_DIR]   (defaults: docs/editor.png, build)
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(realpath -m "${1:-docs/editor.png}")
build=$(realpath "${2:-build}")
bundle="$build/plugin/VontaleerBinaural_artefacts/Release/VST3/Vontaleer Binaural.vst3"
tool="$build/tools/capture_editor"

for needed in "$bundle" "$tool"; do
  [ -e "$needed" ] || { echo "missing $needed: build first" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Servers started at the same moment may pick the same display number; try again then.
for attempt in 1 2 3; do
  if xvfb-run --auto-servernum --server-args="-screen 0 800x600x24" \
       "$tool" --bundle "$bundle" --xwd "$work/editor.xwd"; then
    break
  fi
  [ "$attempt" -lt 3 ] || exit 1
  sleep "$attempt"
done
xwdtopnm "$work/editor.xwd" 2>/dev/null | pnmtopng > "$work/editor.png"
mkdir -p "$(dirname "$out")"
mv "$work/editor.png" "$out"
echo "$out"
