#!/usr/bin/env bash
# Pictures of the firmware update window before and after a USB update of the emulated programmer,
# in Chinese and English, at 100% and 150% scale: scripts/update_screenshots.sh [OUTDIR].
# A loopback FTP server (python3-pyftpdlib) publishes firmware 1.0.3.0 for the run.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
cmake --build build/default --target qx_update_shots qx_self_update_shots qubrix-emulator >/dev/null
scratch=$(mktemp -d)
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_STATE_HOME="$scratch/state"
export XDG_RUNTIME_DIR="$scratch/run" QUBRIX_EMULATE=1
mkdir -p -m 700 "$XDG_RUNTIME_DIR"; mkdir -p "$XDG_CONFIG_HOME/QUBRIX" "$scratch/ftp/QUBRIXToolTFT/v2"
unset QT_QPA_PLATFORM

/usr/bin/python3 - "$scratch/ftp/QUBRIXToolTFT/v2" <<'PY'
import hashlib, struct, sys
folder = sys.argv[1]
app = struct.pack("<I", 0xAA55AA55) + bytes(12) + b"1.0.3.0".ljust(16, b"\0") + bytes(range(256)) * 16
image = bytes((i * 7 + 0x21) & 0xFF for i in range(0x5800)) + app
open(folder + "/fw_1.0.3.0.bin", "wb").write(image)
digest = hashlib.md5(image).hexdigest()
open(folder + "/fw.xml", "w").write(
    '<fw><latest ver="1.0.3.0"/><firmwares>'
    f'<item ver="1.0.3.0" path="/QUBRIXToolTFT/v2/fw_1.0.3.0.bin" hash="{digest}"/></firmwares></fw>\n')
PY
# A newer program whose digest never matches: the pictures show the question and the download, and
# the run ends in "Download failed." without replacing anything.
head -c $((96 * 1024 * 1024)) /dev/zero > "$scratch/ftp/QUBRIXToolTFT/qubrix-tool"
printf '<tool><latest ver="9.9.9"/><apps><item ver="9.9.9" path="/QUBRIXToolTFT/qubrix-tool" hash="%s"/></apps></tool>\n' \
  00000000000000000000000000000000 > "$scratch/ftp/QUBRIXToolTFT/tool.xml"
coproc FTP { exec /usr/bin/python3 tests/update/ftp_server.py "$scratch/ftp" shots shots; }
ftp_pid=$FTP_PID
trap 'kill "$ftp_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
read -r port <&"${FTP[0]}"
printf '[Update]\nServer=ftp://127.0.0.1:%s/\nUser=shots\nPassword=shots\n' "$port" \
  > "$XDG_CONFIG_HOME/QUBRIX/QUBRIX_TOOL_CONFIG.ini"

for scale in 1 1.5; do
  for lang in 2052 1033; do
    tag="$([ "$lang" = 1033 ] && echo en || echo zh)-$([ "$scale" = 1 ] && echo 100 || echo 150)"
    build/default/bin/qubrix-emulator --reset >/dev/null
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 1600x1000x24" \
      build/default/bin/qx_update_shots "$out" "$tag" "$lang"
    echo "screenshots: $out/$tag-update-{before,after}.png"
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 1600x1000x24" \
      build/default/bin/qx_self_update_shots "$out" "$tag" "$lang"
    echo "screenshots: $out/$tag-self-update-{question,progress,failed}.png"
  done
done
