#!/usr/bin/env bash
# Installs what the build needs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Asan
cmake --build build-asan
# Shadow memory of freed blocks is cleared by writing it, not by handing pages back to the system: the
# decoding tests free many large FFmpeg buffers, and each hand-back cost a flush on every core.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:clear_shadow_mmap_threshold=1073741824
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure --timeout 600 -j "$(nproc)"
