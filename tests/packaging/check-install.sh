#!/usr/bin/env bash
# Installs the build into a staging folder, checks what lands where, validates the desktop entry
# and the AppStream metadata, starts the installed program with a fresh home folder (also as the
# start-up probe, placed beside it, which picks a class and opens an example pack), and builds and
# checks the Debian package.
# Usage: check-install.sh BUILD_DIR WORK_DIR PROBE
set -euo pipefail
build=$1
work=$2
probe=$3
for tool in desktop-file-validate appstreamcli lintian dpkg-shlibdeps xvfb-run; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"
stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log"
libdir=$(cd "$stage/usr" && find lib* -type d -name morrowlen | head -n 1)

fail=0
problem() { echo "$1"; fail=1; }
expect() { [ -e "$stage/usr/$1" ] || { echo "missing from the installation: /usr/$1"; fail=1; }; }
for f in bin/morrowlen bin/morrowlen-mofcomp bin/morrowlen-repo \
         share/applications/org.morrowlen.Morrowlen.desktop \
         share/metainfo/org.morrowlen.Morrowlen.metainfo.xml \
         share/icons/hicolor/scalable/apps/morrowlen.svg \
         share/man/man1/morrowlen.1.gz share/man/man1/morrowlen-mofcomp.1.gz share/man/man1/morrowlen-repo.1.gz \
         share/morrowlen/serve-examples \
         share/morrowlen/example-packs/examplemps/Jscript/Korvane.2008.BIOS.xml \
         share/doc/morrowlen/copyright "$libdir/libmorrowlen-webview.so"; do
    expect "$f"
done
for size in 16 32 48 64 128 256; do expect "share/icons/hicolor/${size}x${size}/apps/morrowlen.png"; done

desktop=$stage/usr/share/applications/org.morrowlen.Morrowlen.desktop
desktop-file-validate "$desktop"
# "Open with" for MOF files: the files go to the program, under the type shared-mime-info defines.
grep -qx 'Exec=morrowlen %F' "$desktop" || problem "the desktop entry does not pass files to the program"
grep -qx 'MimeType=text/x-mof;' "$desktop" || problem "the desktop entry does not offer to open MOF files"
if [ -f /usr/share/mime/packages/freedesktop.org.xml ]; then
    grep -q 'type="text/x-mof"' /usr/share/mime/packages/freedesktop.org.xml ||
        problem "shared-mime-info no longer defines text/x-mof"
fi
"$stage/usr/bin/morrowlen" --version | grep -q '^morrowlen ' || problem "morrowlen --version needs a display"
appstreamcli validate --no-net "$stage/usr/share/metainfo/org.morrowlen.Morrowlen.metainfo.xml"

home=$work/home
mkdir -p "$home"
program_env=(env -i PATH=/usr/bin:/bin HOME="$home" LC_ALL=C.UTF-8
             QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu --disable-dev-shm-usage")
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
# A process that has ended; one nobody has reaped yet counts as ended.
gone() { local state; state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null || true); [ -z "$state" ] || [ "$state" = Z ]; }
# Starts a program on a display of its own, in the background, from a foreign folder; the program's
# pid goes to the file $2.
start_on_display() {
    local out=$1 pidfile=$2
    shift 2
    (cd / && "${program_env[@]}" xvfb-run -a sh -c 'echo $$ >"$0"; exec "$@"' "$pidfile" "$@" >"$out" 2>>"$work/program.log") &
}
wait_for_line() { # FILE PATTERN SECONDS
    for _ in $(seq $(($3 * 10))); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
    return 1
}

# The installed program itself, started from a foreign folder with a fresh home: it creates the
# per-user repository and keeps its window open.
start_on_display "$work/program.out" "$work/program.pid" "$stage/usr/bin/morrowlen"
for _ in $(seq 300); do [ -f "$home/.local/share/morrowlen/repository.sqlite" ] && break; sleep 0.1; done
sleep 2
pid=$(cat "$work/program.pid" 2>/dev/null || echo 0)
if [ "$pid" -gt 0 ] && ! gone "$pid"; then kill "$pid"; else echo "the installed program did not keep running"; fail=1; fi
wait
[ -f "$home/.local/share/morrowlen/repository.sqlite" ] || { echo "no per-user repository"; fail=1; }

# The probe, installed beside the program, starts as the program does: a class pick writes the
# page into the cache folder, and the NoScript example is served by the installed server, which
# ends with the program.
cp "$probe" "$stage/usr/bin/morrowlen-probe"
port=$(free_port)
pack=/examplemps/noscript/Korvane.2008.BIOS.xml
start_on_display "$work/probe.out" "$work/probe.pid" "$stage/usr/bin/morrowlen-probe" \
    --pick 'root\cimv2|Win32_BIOS' --example mnunoscript --example-server "127.0.0.1:$port" --stay
wait_for_line "$work/probe.out" 'staying' 90 || echo "the probe did not finish its work"
out=$(cat "$work/probe.out")
echo "$out"
grep -qx 'shown; webengine not loaded' <<<"$out" || { echo "the installed program did not show its window"; fail=1; }
grep -qx "page written to $home/.cache/morrowlen/Profile.htm" <<<"$out" || { echo "no page in the cache folder"; fail=1; }
grep -q 'Win32_BIOS - Properties' "$home/.cache/morrowlen/Profile.htm" 2>/dev/null || { echo "the page is not Win32_BIOS's"; fail=1; }
grep -qx "example loaded http://127.0.0.1:$port$pack" <<<"$out" || { echo "the viewer did not load the NoScript example"; fail=1; }
server=$(sed -n 's/^example server pid //p' <<<"$out")
server=${server:-0}
if [ "$server" -gt 0 ] && tr '\0' ' ' <"/proc/$server/cmdline" | grep -qF "$stage/usr/share/morrowlen/serve-examples"; then
    python3 - "http://127.0.0.1:$port$pack" "$stage/usr/share/morrowlen/example-packs$pack" <<'EOF' ||
import sys, urllib.request
with urllib.request.urlopen(sys.argv[1], timeout=5) as answer, open(sys.argv[2], "rb") as pack:
    sys.exit(0 if answer.status == 200 and answer.read() == pack.read() else 1)
EOF
        { echo "the installed server did not answer $pack"; fail=1; }
else
    echo "the example was not served by the installed server"; fail=1
fi
# Killed, the program leaves no server behind.
kill -9 "$(cat "$work/probe.pid")"
wait
for _ in $(seq 30); do gone "$server" && break; sleep 0.1; done
gone "$server" || { echo "the example server outlived the killed program"; fail=1; }

# Ended as usual, the program stops its server.
port=$(free_port)
(cd / && "${program_env[@]}" xvfb-run -a "$stage/usr/bin/morrowlen-probe" --example mnunoscript \
    --example-server "127.0.0.1:$port" >"$work/probe2.out" 2>>"$work/program.log") || true
cat "$work/probe2.out"
server=$(sed -n 's/^example server pid //p' "$work/probe2.out")
server=${server:-0}
if [ "$server" -eq 0 ]; then echo "the probe started no example server"; fail=1
elif ! gone "$server"; then echo "the example server outlived the program"; fail=1; fi
rm -f "$stage/usr/bin/morrowlen-probe"

# The Debian package.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log")
deb=$(ls "$work"/package/*.deb)
dpkg-deb -c "$deb" >"$work/contents.txt"
for f in ./usr/bin/morrowlen ./usr/bin/morrowlen-mofcomp ./usr/share/applications/org.morrowlen.Morrowlen.desktop \
         ./usr/share/metainfo/org.morrowlen.Morrowlen.metainfo.xml ./usr/share/man/man1/morrowlen-repo.1.gz; do
    grep -q " $f\$" "$work/contents.txt" || { echo "missing from the package: $f"; fail=1; }
done
dpkg-deb -f "$deb" Depends
lintian --fail-on error --no-tag-display-limit "$deb" | tee "$work/lintian.txt" || { echo "lintian reports errors"; fail=1; }
exit $fail
