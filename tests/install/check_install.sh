#!/usr/bin/env bash
# Installs the build tree given as $1 into a temporary DESTDIR under /usr and checks what a desktop
# and udev will read there. Prints every fault and fails when there was one.
set -uo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
faults=0
fault() { echo "FAULT: $*"; faults=$((faults + 1)); }

DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null || { echo "FAULT: cmake --install failed"; exit 1; }
root=$dest/usr
app=com.qubrix.QubrixTool

for exe in qubrix qubrix-tool qubrix-emulator; do
  [ -x "$root/bin/$exe" ] || fault "bin/$exe is missing or not executable"
done
version=$("$root/bin/qubrix" --version) || fault "qubrix --version failed"
[[ $version == "QUBRIX Tool v"* ]] || fault "qubrix --version printed '$version'"

rules=$(ls "$root"/lib/udev/rules.d/*qubrix*.rules 2>/dev/null)
if [ -z "$rules" ]; then
  fault "no udev rules under lib/udev/rules.d"
else
  number=$(basename "$rules" | cut -c1-2)
  [ "$number" -lt 73 ] || fault "udev rules numbered $number sort after 73-seat-late.rules, so uaccess would not apply"
  for product in 0125 0123; do
    grep -q "SUBSYSTEM==\"hidraw\".*ATTRS{idProduct}==\"$product\".*GROUP=\"plugdev\".*TAG+=\"uaccess\"" "$rules" ||
      fault "no hidraw rule with plugdev and uaccess for ffca:$product"
  done
  grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$rules" || fault "ModemManager is not told to ignore the devices"
  cmp -s "$rules" <("$root/bin/qubrix" udev-rules) || fault "qubrix udev-rules does not print the installed rules"
fi

desktop=$root/share/applications/$app.desktop
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fault "desktop-file-validate rejects $app.desktop"
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  [ -x "$root/bin/${exec_line%% *}" ] || fault "Exec runs '${exec_line%% *}', which is not installed"
else
  fault "$app.desktop is missing"
fi

metainfo=$root/share/metainfo/$app.metainfo.xml
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" >/dev/null || { appstreamcli validate --no-net "$metainfo"; fault "appstreamcli rejects the metainfo"; }
  grep -q "<release version=\"$(echo "$version" | sed 's/.*v//')\"" "$metainfo" || fault "the metainfo's release is not the program's version"
else
  fault "$app.metainfo.xml is missing"
fi

# The file manager must map both production file kinds to types the desktop entry opens.
mime=$root/share/mime
if [ -f "$mime/packages/qubrix.xml" ]; then
  # It notes that the temporary tree is not on the search path; only a failure matters here.
  update-mime-database "$mime" >/dev/null 2>&1 || { update-mime-database "$mime"; fault "update-mime-database rejects qubrix.xml"; }
  for glob in cab cap; do
    type=$(sed -n "s/^[0-9]*:\([^:]*\):\*\.$glob$/\1/p" "$mime/globs2" | grep qubrix)
    [ -n "$type" ] || fault "no QUBRIX type for *.$glob"
    grep -q "MimeType=.*$type;" "$desktop" || fault "the desktop entry does not open $type"
  done
else
  fault "share/mime/packages/qubrix.xml is missing"
fi

[ -f "$root/share/icons/hicolor/scalable/apps/$app.svg" ] || fault "the scalable icon is missing"
for size in 16 22 24 32 48 64 128 256; do
  png=$root/share/icons/hicolor/${size}x${size}/apps/$app.png
  if [ -f "$png" ]; then
    read -r w h < <(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$png")
    [ "$w $h" = "$size $size" ] || fault "${size}x${size} icon is ${w}x${h}"
  else
    fault "the ${size}x${size} icon is missing"
  fi
done

completion=$root/share/bash-completion/completions/qubrix
if [ -f "$completion" ]; then
  bash -n "$completion" || fault "the bash completion does not parse"
else
  fault "the bash completion is missing"
fi

echo "install_tree: $faults fault(s) in $dest"
[ "$faults" -eq 0 ]
