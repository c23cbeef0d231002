#!/usr/bin/env bash
# Installs, builds, then programs and verifies the shipped example into the emulated QUBRIX Tool,
# with the log lines and the progress of both phases.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
QUBRIX_EMULATE=1 exec build/default/bin/qubrix program -t QB51F16 examples/blink.hex
