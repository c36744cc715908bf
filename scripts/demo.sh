#!/usr/bin/env bash
# `make demo`: converts a generated demo clip with the engine, without windows, and says where
# the result went. Nothing in the output folder is overwritten.
set -euo pipefail
build=${1:-build}
out=${QUOVO_DEMO_DIR:-$(xdg-user-dir VIDEOS 2>/dev/null || echo "$HOME/Videos")/videoconverter}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clip="$work/quovo-demo.mkv"
"$build/tools/quovo-fixture" demo "$clip"

result="$out/quovo-demo_(new).mp4"
n=1
while [ -e "$result" ]; do
    result="$out/quovo-demo_(new_$n).mp4"
    n=$((n + 1))
done
"$build/tools/quovo-convert" --loglevel warning "$clip" \
    --out vcodec=copy --out acodec=copy --out "metadata=title=Quovo demo" "$result"
echo
echo "Converted a generated 10 s H.264 + AAC clip into: $result"
