#!/usr/bin/env bash
# Installs what the build needs, builds the optimised tool and starts it (it needs a desktop).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target zonvark
exec build/app/zonvark "$@"
