#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (FUZZ_SECONDS, 20 by
# default) from the committed seed corpus. New inputs go to a scratch folder, not the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
missing=()
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_=""; [ "$(id -u)" -ne 0 ] && sudo_=sudo
    $sudo_ apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTESMORA_FUZZ=ON -DTESMORA_WERROR="${TESMORA_WERROR:-OFF}" >/dev/null
cmake --build build-fuzz
seconds=${FUZZ_SECONDS:-20}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in numbers fit contours; do
    mkdir -p "$scratch/$target"
    echo "fuzzing $target for ${seconds}s" >&2
    build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$scratch/$target" "fuzz/corpus/$target" 2>&1 | tail -n 12
done
echo "fuzzing: no crash, no undefined behaviour, no time-out"
