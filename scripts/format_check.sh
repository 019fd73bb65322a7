#!/usr/bin/env bash
# Fails when a C++ file of ours is not laid out as .clang-format says (clang-format from Debian).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
    sudo_=""; [ "$(id -u)" -ne 0 ] && sudo_=sudo
    $sudo_ apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -qq --no-install-recommends clang-format >/dev/null
fi
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "clang-format: every file as .clang-format lays it out"
