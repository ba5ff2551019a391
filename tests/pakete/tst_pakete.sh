#!/usr/bin/env bash
# The Debian packages made from this build: their files, permissions and
# dependencies, the programs run from them; as root on a machine without
# them (CI), both installed with dpkg -i, the user and the unit checked
# (systemd-analyze verify), then removed again.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fehler() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$tmp/pakete" >/dev/null)
server=$(ls "$tmp"/pakete/archivd_*_amd64.deb)
client=$(ls "$tmp"/pakete/archiv_*_amd64.deb)

# Files and their modes, as listed in the packages.
inhalt=$(dpkg-deb -c "$server"; dpkg-deb -c "$client")
for erwartet in "-rwxr-xr-x root/root .* ./usr/bin/archivd$" "-rwxr-xr-x root/root .* ./usr/bin/archivd-demo$" \
                "-rw-r--r-- root/root .* ./usr/lib/systemd/system/archivd.service$" "-rw-r--r-- root/root .* ./etc/archivd/archivd.conf$" \
                "-rw-r--r-- root/root .* ./usr/share/man/man1/archivd.1.gz$" "-rwxr-xr-x root/root .* ./usr/bin/archiv$" \
                "-rw-r--r-- root/root .* ./usr/share/applications/archiv.desktop$" \
                "-rw-r--r-- root/root .* ./usr/share/icons/hicolor/scalable/apps/archiv.svg$"; do
  grep -Eq -- "$erwartet" <<<"$inhalt" || fehler "not in the packages: $erwartet"
done
dpkg-deb -f "$server" Depends | grep -q "adduser" || fehler "archivd does not depend on adduser"
dpkg-deb -f "$server" Depends | grep -q "libqt6core6" || fehler "archivd has no library dependencies"
dpkg-deb -I "$server" conffiles | grep -qx "/etc/archivd/archivd.conf" || fehler "archivd.conf is no conffile"

# The programs as packaged, and the desktop entry.
dpkg-deb -x "$server" "$tmp/root"
dpkg-deb -x "$client" "$tmp/root"
"$tmp/root/usr/bin/archivd" --version | grep -Eq "^archivd [0-9]+\.[0-9]+\.[0-9]+$" || fehler "archivd --version"
"$tmp/root/usr/bin/archivd" init --db "$tmp/erster Start.sqlite" | grep -q "archivd client add NAME" || fehler "the first start does not say how to enrol"
[ -f "$tmp/erster Start.sqlite.crt" ] || fehler "the first start made no certificate"
desktop="$tmp/root/usr/share/applications/archiv.desktop"
grep -qx "Name=Tessam Archiv" "$desktop" && grep -q "^Categories=Office;" "$desktop" && grep -qx "Exec=archiv" "$desktop" \
  || fehler "archiv.desktop"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop"; fi
for schalter in ProtectSystem=strict PrivateTmp=yes NoNewPrivileges=yes StateDirectory=archivd Restart=on-failure User=archivd \
  CapabilityBoundingSet= SystemCallFilter=@system-service; do
  grep -qx "$schalter" "$tmp/root/usr/lib/systemd/system/archivd.service" || fehler "archivd.service lacks $schalter"
done

installiert() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
if [ "$(id -u)" -ne 0 ] || installiert archivd || installiert archiv; then
  echo "tst_pakete: packages checked (not installed: not root, or installed already)"
  exit 0
fi
dpkg -i "$server" "$client" >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fehler "dpkg -i"; }
trap 'dpkg -P archivd archiv >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT
getent passwd archivd >/dev/null || fehler "no system user archivd"
# Enabled even where systemd does not run (an image, a chroot): the next boot starts it.
wants=/etc/systemd/system/multi-user.target.wants/archivd.service
[ "$(readlink "$wants")" = /lib/systemd/system/archivd.service ] || [ "$(readlink "$wants")" = /usr/lib/systemd/system/archivd.service ] ||
  fehler "archivd.service not enabled after dpkg -i"
[ "$(stat -c %a /etc/archivd/archivd.conf)" = 644 ] || fehler "archivd.conf mode"
/usr/bin/archivd --version >/dev/null || fehler "installed archivd does not run"
man -w archivd >/dev/null 2>&1 || [ -f /usr/share/man/man1/archivd.1.gz ] || fehler "no man page"
if ! systemd-analyze verify --man=no /usr/lib/systemd/system/archivd.service 2>"$tmp/verify.log"; then
  # A container without systemd as init has no sysinit.target to order against.
  if grep -v "sysinit.target" "$tmp/verify.log" | grep -q .; then
    cat "$tmp/verify.log"
    fehler "systemd-analyze verify"
  fi
fi
dpkg -r archivd archiv >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fehler "dpkg -r"; }
[ ! -e /usr/bin/archivd ] && [ ! -e /usr/bin/archiv ] || fehler "programs left after dpkg -r"
[ -f /etc/archivd/archivd.conf ] || fehler "dpkg -r took the administrator's settings"
[ "$(readlink /etc/systemd/system/archivd.service)" = /dev/null ] || fehler "a removed archivd.service is not masked"
dpkg -P archivd archiv >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fehler "dpkg -P"; }
[ ! -e "$wants" ] && [ ! -L "$wants" ] && [ ! -L /etc/systemd/system/archivd.service ] || fehler "links of archivd.service left after dpkg -P"
echo "tst_pakete: built, installed, verified and removed"
