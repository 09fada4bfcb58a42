#!/usr/bin/env bash
# Installs what is missing, builds (Release) and runs linkageSWEEPdemo1.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQZ_BUILD_TESTS=OFF -DQZ_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target linkageSWEEPdemo1 linkageSWEEPdemo1-snapshot
exec ./build/linkageSWEEPdemo1 "$@"
