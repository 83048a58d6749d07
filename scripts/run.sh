#!/usr/bin/env bash
# Installs what is missing, builds the program in build/ and starts the window in run/, where
# its settings file QDL4816.ini is kept between runs.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
    bash scripts/install-deps.sh
else
    bash scripts/install-deps.sh 2>/dev/null || sudo bash scripts/install-deps.sh
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF -DQDL_BUILD_BENCHMARKS=OFF
cmake --build build -j2 --target QDL4816

mkdir -p run
cd run
exec ../build/app/QDL4816
