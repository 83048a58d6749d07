#!/usr/bin/env bash
# The package's types: the README's example and the typed modules under mypy --strict (labgrid's
# module as far as labgrid, which has no types, allows), and the native module's stubs against
# the module itself (stubtest).
# Usage: check-types.sh PYTHON BUILT-PACKAGE-FOLDER SOURCE-FOLDER CACHE-FOLDER
set -euo pipefail
python=$1 built=$2 source=$3 cache=$4
cd "$built"
export PYTHONPATH=$built MYPYPATH=$built
"$python" -m mypy --cache-dir "$cache" --strict "$source/examples" \
    qdl4816/__init__.py qdl4816/errors.py qdl4816/outlets.py qdl4816/pytest_plugin.py
"$python" -m mypy --cache-dir "$cache" --ignore-missing-imports qdl4816/labgrid.py
"$python" -m mypy.stubtest --allowlist "$source/stubtest-allowlist.txt" qdl4816._native
