#!/usr/bin/env bash
# Installs what the build needs, builds the optimised tool and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
if [ -x build/app/zonvark ]; then
  exec build/app/zonvark "$@"
fi
echo "The application is not built yet: the libraries and their tests are in build/."
