#!/usr/bin/env bash
# Builds the Debian package from a build folder (default build/, as scripts/test.sh leaves it),
# unpacks it into a scratch root and checks it as a fresh installation would be used:
#   - the files of the installed layout are there (program, help, desktop entry, icons, metainfo,
#     manual page, user unit);
#   - desktop-file-validate, appstreamcli validate, lintian, the manual page and the user unit are
#     clean;
#   - every dependency is a Debian package that dpkg finds satisfied here (dpkg --dry-run);
#   - the installed program finds its help, starts with its windows (offscreen) and uploads once
#     with --upload-now to a pyftpdlib server on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=${1:-build}

bash scripts/setup.sh
if [ ! -f "$build/CPackConfig.cmake" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF
fi
cmake --build "$build" -j2 --target velmora velmora_theme_icons velmora_package_docs

scratch=$(mktemp -d)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "package-check: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/package" >"$scratch/cpack.log") || { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$(ls "$scratch"/package/velmora_*.deb)
echo "package: $(basename "$deb") ($(du -h "$deb" | cut -f1))"
echo "depends: $(dpkg-deb -f "$deb" Depends)"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
for file in bin/velmora share/velmora/Help/HTML/Start.htm share/velmora/Help/HTML/style.css \
    share/applications/velmora.desktop share/metainfo/org.velmora.Velmora.metainfo.xml \
    share/man/man1/velmora.1.gz share/doc/velmora/copyright share/doc/velmora/changelog.gz \
    lib/systemd/user/velmora.service share/icons/hicolor/scalable/apps/velmora.svg; do
  [ -s "$usr/$file" ] || fail "missing /usr/$file"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$usr/share/icons/hicolor/${size}x${size}/apps/velmora.png
  python3 - "$png" "$size" <<'PY' || fail "icon $png is not a ${size}x${size} PNG"
import struct, sys
data = open(sys.argv[1], "rb").read(24)
size = int(sys.argv[2])
sys.exit(0 if data[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", data[16:24]) == (size, size) else 1)
PY
done
python3 -c 'import sys, xml.dom.minidom as m; m.parse(sys.argv[1])' "$usr/share/icons/hicolor/scalable/apps/velmora.svg" \
  || fail "the SVG icon is not well-formed"

echo "validators"
desktop-file-validate "$usr/share/applications/velmora.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/org.velmora.Velmora.metainfo.xml"
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$usr/share/man/man1/velmora.1.gz" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || fail "manual page: $man_warnings"
# The unit as systemd would run it from this root: the program by its full path.
mkdir -m 700 "$scratch/runtime"
sed "s|^ExecStart=velmora|ExecStart=$usr/bin/velmora|" "$usr/lib/systemd/user/velmora.service" >"$scratch/runtime/velmora.service"
XDG_RUNTIME_DIR=$scratch/runtime systemd-analyze verify --man=no --user "$scratch/runtime/velmora.service"
grep -qx 'ExecStart=velmora --headless' "$usr/lib/systemd/user/velmora.service" || fail "the unit does not run --headless"

# Debian's own package checks: errors fail the run, warnings are shown. As root, lintian says so.
echo "lintian"
lintian_status=0
lintian_report=$(lintian --tag-display-limit 0 --fail-on error "$deb" 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$lintian_report" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

echo "dependencies"
dpkg --dry-run -i "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "the package's dependencies are not satisfied"; }

echo "smoke test of the installed program"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$scratch/runtime
program=$usr/bin/velmora
help_line=$("$program" --help | grep '^Help pages: ')
[ "$help_line" = "Help pages: $usr/share/velmora/Help/HTML" ] || fail "the program looks for its help elsewhere: $help_line"

store=$scratch/store.db
work=$scratch/work
VELMORA_EXIT_AFTER_FIRST_FRAME=1 timeout 60 "$program" --store "$store" --workdir "$work" --test-pattern >"$scratch/start.log" 2>&1 \
  || { cat "$scratch/start.log"; fail "the program did not start and show its first frame"; }
grep -q 'first frame painted' "$scratch/start.log" || fail "no first frame"

home=$scratch/ftp
mkdir -p "$home"
: >"$scratch/server.log"
"${VELMORA_PYTHON:-/usr/bin/python3}" "$source_dir/tests/support/ftp_server.py" --host 127.0.0.1 --home "$home" >"$scratch/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q '^PORT ' "$scratch/server.log" && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$scratch/server.log")
[ -n "$port" ] || { cat "$scratch/server.log"; fail "the FTP server did not start"; }
key='Software\Velmora\Smoke'
"$program" --store "$store" reg set 'Software\Velmora' Account1 Smoke
"$program" --store "$store" reg set "$key" Selected True
"$program" --store "$store" reg set "$key" 'Host Name/Adress:' "127.0.0.1:$port"
"$program" --store "$store" reg set "$key" 'User ID:' cam
"$program" --store "$store" reg set "$key" 'Password:' secret
timeout 120 "$program" --store "$store" --workdir "$work" --test-pattern --upload-now >"$scratch/upload.log" 2>&1 \
  || { cat "$scratch/upload.log"; fail "--upload-now failed"; }
uploaded=$(find "$home" -name '*.jpg' | head -n 1)
[ -n "$uploaded" ] || { cat "$scratch/upload.log"; fail "nothing arrived on the server"; }
[ "$(head -c 2 "$uploaded" | od -An -tx1 | tr -d ' ')" = "ffd8" ] || fail "$uploaded is no JPEG file"
echo "package-check: passed ($(basename "$deb"): installed layout, validators, dependencies, start, help, upload)"
