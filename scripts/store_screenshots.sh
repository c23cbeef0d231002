#!/usr/bin/env bash
# Pictures of the firmware store manager holding three programs (added through the dialog on the
# emulated programmer), in Chinese and English, at 100% and 150% scale, under Xvfb:
# scripts/store_screenshots.sh [OUTDIR] (default build/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
cmake --build build/default --target qx_store_shots >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Never the user's own settings.
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_STATE_HOME="$scratch/state"
unset QUBRIX_EMULATE QT_QPA_PLATFORM
for scale in 1 1.5; do
  for lang in 2052 1033; do
    tag="$([ "$lang" = 1033 ] && echo en || echo zh)-$([ "$scale" = 1 ] && echo 100 || echo 150)"
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 1920x1200x24" \
      build/default/bin/qx_store_shots "$out" "$tag" "$lang" "$PWD"
    echo "screenshot: $out/$tag-store.png"
  done
done
