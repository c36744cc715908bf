#!/usr/bin/env bash
# The program under a virtual X server with the accessibility bus: a robot script of scripts/ (the
# third argument, by default the one that chooses a format) drives it by names alone.
# Needs the project's shared tools (at.py, gui-run.sh): $QUOVO_SHARED_TOOLS, or shared/tools beside
# the repository; without them, or without the bus packages, the test is skipped.
set -uo pipefail
source_dir=$1
build=$2
script=${3:-robot-choose-format.py}
tools=${QUOVO_SHARED_TOOLS:-$source_dir/../shared/tools}
for need in "$tools/at.py" "$tools/gui-run.sh" /usr/libexec/at-spi-bus-launcher; do
    [ -e "$need" ] || { echo "skipped: $need is missing"; exit 77; }
done
command -v xvfb-run >/dev/null && command -v dbus-run-session >/dev/null &&
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "skipped: no bus tools"; exit 77; }
unset QT_QPA_PLATFORM
export PYTHONDONTWRITEBYTECODE=1  # the scripts import robot_common: keep the source tree clean
exec bash "$tools/gui-run.sh" /usr/bin/python3 "$source_dir/scripts/$script" \
    "$tools" "$build"
