#!/usr/bin/env bash
# Installs, builds and runs every test of one preset: "default" (everything) or "sanitize" (the
# Qt-free libraries under AddressSanitizer and UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
bash scripts/build.sh "$preset"
# Tests never see the user's settings, emulator state or programmer locks, nor a real programmer.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_STATE_HOME="$scratch/state"
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen
unset QUBRIX_EMULATE
ctest --preset "$preset"
