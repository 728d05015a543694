#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz and runs one of them, or all in turn, for SECONDS each.
#   scripts/fuzz.sh TARGET SECONDS [WORKERS]     TARGET: a folder name under tests/fuzz, or "all"
# Each target's corpus grows in build-fuzz/corpus/<name> (seeded from tests/fuzz/<name>/seeds); inputs
# that crash, hang (over 5 s) or use over 2 GB are kept in build-fuzz/findings/<name>/, to be mended and
# then moved into tests/fuzz/<name>/regressions/. The logs are in build-fuzz/work/<name>/.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET|all SECONDS [WORKERS]" >&2
  exit 2
fi
target=$1
seconds=$2
workers=${3:-4}

# clang and its libFuzzer runtime from Debian, only when missing (not part of the default install).
need=()
command -v clang >/dev/null && command -v clang++ >/dev/null || need+=(clang)
if ((${#need[@]})); then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${need[@]}"
fi
clang_major=$(clang -dumpversion | cut -d. -f1)
if [ ! -e "$(clang -print-file-name=libclang_rt.fuzzer-x86_64.a)" ] &&
   ! ls "$(clang -print-resource-dir)"/lib/linux/libclang_rt.fuzzer-*.a >/dev/null 2>&1; then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "libclang-rt-${clang_major}-dev"
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Asan -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DZV_FUZZ=ON -DZV_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null

if [ "$target" = all ]; then
  names=()
  for dir in tests/fuzz/*/; do
    name=$(basename "$dir")
    [ -f "$dir/${name}_fuzz.cpp" ] && names+=("$name")
  done
else
  [ -f "tests/fuzz/$target/${target}_fuzz.cpp" ] || { echo "no fuzz target $target" >&2; exit 2; }
  names=("$target")
fi
ninja -C build-fuzz -j "${ZV_FUZZ_BUILD_JOBS:-4}" "${names[@]/#/fuzz_}"

export ZONVARK_HEADLESS=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
root=$PWD
status=0
for name in "${names[@]}"; do
  corpus=$root/build-fuzz/corpus/$name
  findings=$root/build-fuzz/findings/$name
  work=$root/build-fuzz/work/$name
  mkdir -p "$corpus" "$findings" "$work"
  inputs=("$corpus" "$root/tests/fuzz/$name/seeds")
  [ -d "tests/fuzz/$name/regressions" ] && inputs+=("$root/tests/fuzz/$name/regressions")
  echo "== $name: $seconds s on $workers workers"
  # New inputs go into the first folder, the corpus; the workers write their logs (fuzz-<n>.log) into
  # the folder they run in.
  if (cd "$work" && "$root/build-fuzz/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=5 \
        -rss_limit_mb=2048 -jobs="$workers" -workers="$workers" -artifact_prefix="$findings/" "${inputs[@]}") \
        >"$work/driver.log" 2>&1; then
    echo "   no finding"
  else
    echo "   FINDINGS in $findings (logs: $work/fuzz-*.log)"
    status=1
  fi
  # Each worker's last status line: runs, coverage, features, corpus.
  for log in "$work"/fuzz-*.log; do
    [ -f "$log" ] && grep -E '^#[0-9]+' "$log" | tail -n 1 | sed "s|^|   $(basename "$log"): |"
  done
done
exit $status
