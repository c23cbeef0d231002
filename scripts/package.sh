#!/usr/bin/env bash
# Builds the .deb from the default preset into build/default/packages. With --try it then installs
# it with apt-get, runs the installed qubrix, and removes it again (purged, nothing left behind).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
rm -rf build/default/packages
(cd build/default && cpack -G DEB)
deb=$(ls build/default/packages/qubrix_*.deb)
echo "package: $deb"
[ "${1:-}" = "--try" ] || exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if dpkg-query -W -f='${Status}' qubrix 2>/dev/null | grep -q 'install ok installed'; then
  echo "package: qubrix is installed already; not touching it" >&2
  exit 1
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "./$deb"
trap 'DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq qubrix' EXIT
/usr/bin/qubrix --version
/usr/bin/qubrix udev-rules | cmp - /usr/lib/udev/rules.d/60-qubrix.rules
dpkg-query -L qubrix >/dev/null
trap - EXIT
DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq qubrix
left=$(ls /usr/bin/qubrix* /usr/lib/udev/rules.d/60-qubrix.rules /usr/share/applications/com.qubrix.QubrixTool.desktop 2>/dev/null || true)
[ -z "$left" ] || { echo "package: left behind after removal: $left" >&2; exit 1; }
echo "package: installed, ran and removed cleanly"
