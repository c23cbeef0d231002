#!/usr/bin/env bash
# Installs, builds and runs the program's main job on the shipped example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
exec build/default/bin/qubrix info -t QB51F16 examples/blink.hex
