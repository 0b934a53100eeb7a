#!/usr/bin/env bash
# Installs the build into a staging folder, checks what lands where, validates the desktop entry
# and the AppStream metadata, starts the installed program with a fresh home folder, and builds
# and checks the Debian package.
# Usage: check-install.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
for tool in desktop-file-validate appstreamcli lintian dpkg-shlibdeps xvfb-run; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"
stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log"
libdir=$(cd "$stage/usr" && find lib* -type d -name morrowlen | head -n 1)

fail=0
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

desktop-file-validate "$stage/usr/share/applications/org.morrowlen.Morrowlen.desktop"
appstreamcli validate --no-net "$stage/usr/share/metainfo/org.morrowlen.Morrowlen.metainfo.xml"

# The installed program from a foreign folder, with a fresh home: it creates the per-user
# repository, shows its window, and a class pick writes the page into the cache folder.
home=$work/home
mkdir -p "$home"
out=$(cd / && env -i PATH=/usr/bin:/bin HOME="$home" LC_ALL=C.UTF-8 \
      QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu --disable-dev-shm-usage" \
      MORROWLEN_STARTUP_PROBE='root\cimv2|Win32_BIOS' \
      xvfb-run -a "$stage/usr/bin/morrowlen" 2>"$work/program.log") || true
echo "$out"
grep -qx 'shown; webengine not loaded' <<<"$out" || { echo "the installed program did not show its window"; fail=1; }
grep -qx "page written to $home/.cache/morrowlen/Profile.htm" <<<"$out" || { echo "no page in the cache folder"; fail=1; }
[ -f "$home/.local/share/morrowlen/repository.sqlite" ] || { echo "no per-user repository"; fail=1; }
grep -q 'Win32_BIOS - Properties' "$home/.cache/morrowlen/Profile.htm" 2>/dev/null || { echo "the page is not Win32_BIOS's"; fail=1; }

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
