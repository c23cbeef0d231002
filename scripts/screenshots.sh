#!/usr/bin/env bash
# Pictures of the main window in every mode, in Chinese and English, at 100% and 150% scale, for
# developers and reviewers: scripts/screenshots.sh [OUTDIR] (default build/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
cmake --build build/default --target qx_window_shots qx_isp_panel_shots qx_touch_shots qx_touch_serial_shots qx_serial_shots qubrix-tool >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/run" && chmod 700 "$scratch/run"
# Never the user's own settings.
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_STATE_HOME="$scratch/state"
unset QUBRIX_EMULATE QT_QPA_PLATFORM
for scale in 1 1.5; do
  for lang in 2052 1033; do
    tag="$([ "$lang" = 1033 ] && echo en || echo zh)-$([ "$scale" = 1 ] && echo 100 || echo 150)"
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 1920x1200x24" \
      build/default/bin/qx_window_shots "$out" "$tag" "$lang" examples/blink.hex
    echo "screenshots: $out/$tag-mode{0..3}.png"
    # The ISP panel after a USB and a serial run against the emulated devices.
    QUBRIX_EMULATE=1 XDG_RUNTIME_DIR="$scratch/run" QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 1920x1200x24" \
      build/default/bin/qx_isp_panel_shots "$out" "$tag" "$lang" examples/blink.hex
    echo "screenshots: $out/$tag-isp-{usb,serial}.png"
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 1920x1200x24" \
      build/default/bin/qx_touch_shots "$out" "$tag" "$lang"
    echo "screenshots: $out/$tag-touch.png"
    # The same mode over a COM port to the emulated touch board on a pseudo-terminal.
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 1920x1200x24" \
      build/default/bin/qx_touch_serial_shots "$out" "$tag" "$lang"
    echo "screenshots: $out/$tag-touch-serial.png"
    # Mode 3 receiving from the emulated echo device, in hex and packet display.
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 1920x1200x24" \
      build/default/bin/qx_serial_shots "$out/$tag-serial-receiving.png" "$lang"
    echo "screenshots: $out/$tag-serial-receiving.png"
  done
done
