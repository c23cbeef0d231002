#!/usr/bin/env bash
# Builds the `tsan` preset's tests of the threaded parts (serial port reader, USB job threads, the
# emulator's serving threads, the store's add worker, the Writer session's receive thread, the
# terminal's SerialPortLink, the bootloader host's port reader, the touch board's link) and runs them
# under ThreadSanitizer; any report fails the script. The preset builds no Qt, so the windows'
# workers are not in it.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=(qx_isp_tests qx_usbjobs_tests qx_emulator_serial_tests qx_ispengine_tests qx_store_tests
       qx_emulator_programmer_tests qx_writer_tests qx_terminal_tests qx_update_tests qx_touch_board_tests)
bash scripts/install-deps.sh
cmake --preset tsan >/dev/null
cmake --build build/tsan --target "${tests[@]}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_STATE_HOME="$scratch/state"
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset QUBRIX_EMULATE
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
for t in "${tests[@]}"; do
  echo "tsan: $t"
  "build/tsan/bin/$t" --gtest_brief=1
done
echo "tsan: no reports"
