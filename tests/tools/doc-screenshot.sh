#!/bin/sh
# The README's picture of a documentation site's class page: the default repository's root\cimv2
# written by `morrowlen-repo doc` and one page shown by headless Chromium.
# Usage: doc-screenshot.sh MORROWLEN-REPO WORK-FOLDER PICTURE.png
set -eu
tool=$1 work=$2 picture=$3
if ! command -v chromium >/dev/null; then
    echo "chromium is not installed: no picture taken"
    exit 77
fi
rm -rf "$work"
mkdir -p "$work" "$(dirname "$picture")"
MORROWLEN_REPOSITORY="$work/repository.sqlite" "$tool" doc 'root\cimv2' --amended -o "$work/site"
# --no-sandbox: the tests may run as root, where Chromium's sandbox cannot start.
HOME="$work" chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1000,760 \
    --screenshot="$picture" "file://$work/site/Win32_LogicalDisk.html" 2>/dev/null
test -s "$picture"
