#!/usr/bin/env bash
# Configures and builds into build/ (the program folder). Warnings are errors where
# TESMORA_WERROR=ON (CI sets it). The packages it needs come from scripts/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESMORA_WERROR="${TESMORA_WERROR:-OFF}" >/dev/null
cmake --build build
