#!/usr/bin/env bash
# Builds and runs the benchmark suite (Google Benchmark).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
QT_QPA_PLATFORM=offscreen build/bench/tesmora_bench "$@"
