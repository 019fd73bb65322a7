#!/usr/bin/env bash
# Installs what is missing, builds, puts the sample database beside the program (only when
# there is none) and opens the window.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
bash scripts/build.sh
if [ ! -e "build/配方数据.mdb" ]; then
    build/tesmora-cli sample --out "build/配方数据.mdb"
    echo "Sample database written to build/配方数据.mdb" >&2
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found (DISPLAY and WAYLAND_DISPLAY are not set): the window cannot open." >&2
    echo "Run ./run.sh from a desktop session, or under a virtual one:" >&2
    echo "  xvfb-run -s '-screen 0 1280x800x24' ./run.sh" >&2
    exit 1
fi
exec build/tesmora "$@"
