#!/usr/bin/env bash
# Fuzzes the core with libFuzzer and the Python boundary with atheris, both
# built with clang under AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   bash scripts/fuzz.sh --short       30 s on the core, 60 s on the boundary (CI)
#   bash scripts/fuzz.sh --long [S]    S seconds on each (default 600)
#
# Corpora grow in build/fuzz/corpus-*; a failing input is written to
# build/fuzz/ and fails the run. Replay one with the same command line as
# below, the input's path in place of the corpus folder.
set -uo pipefail
cd "$(dirname "$0")/.."

case "${1:---short}" in
  --short) core_seconds=30 boundary_seconds=60 ;;
  --long) core_seconds=${2:-600} boundary_seconds=${2:-600} ;;
  *) echo "usage: $0 [--short | --long [seconds]]" >&2; exit 2 ;;
esac

out=build/fuzz
mkdir -p "$out/corpus-core" "$out/corpus-boundary" || exit 1

if ! command -v clang++ >/dev/null; then
  echo "fuzz: installing clang (libFuzzer) from Debian"
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang; } >"$out/apt.log" 2>&1 \
    || { cat "$out/apt.log"; exit 1; }
fi

status=0
summary=()

# -- The core, through libFuzzer -------------------------------------------
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer -ffp-contract=off -Wno-psabi \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -Icore/include fuzz/core_fuzz.cpp -o "$out/core_fuzz" || exit 1
# Huge periods ask for impossible buffers; the core must see the failure.
ASAN_OPTIONS=allocator_may_return_null=1 "$out/core_fuzz" -max_total_time="$core_seconds" -max_len=2048 \
    -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus-core" >"$out/core.log" 2>&1 || status=1
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/core.log")
# The harness prints its load_state counts, loaded/tried, as the process ends.
restores=$(sed -n 's|^kestov restores: raw \([0-9]*\)/\([0-9]*\), edited \([0-9]*\)/\([0-9]*\), round trips \([0-9]*\)/\([0-9]*\) loaded$|\1 \2 \3 \4 \5 \6|p' \
  "$out/core.log" | tail -n 1)
if [ -n "$restores" ]; then
  read -r raw_ok raw edited_ok edited trips_ok trips <<<"$restores"
  restores="$((raw + edited + trips)) restore attempts ($raw raw bytes: $raw_ok loaded; $edited edited states: $edited_ok loaded; $trips round trips: $trips_ok loaded)"
else
  restores="? restore attempts"
fi
summary+=("core (libFuzzer): ${runs:-?} inputs in ${core_seconds} s, $restores, findings: $([ $status = 0 ] && echo 0 || echo 1)")
[ $status = 0 ] || tail -n 40 "$out/core.log"

# -- The Python boundary, through atheris -----------------------------------
# The extension is built with clang's coverage counters so that atheris is
# guided by the C++ code it reaches; the sanitizer runtime comes with atheris.
python3 -m venv "$out/venv" || exit 1
"$out/venv/bin/python" -m pip install -q atheris || exit 1
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize=vptr,function -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"
CXX=clang++ "$out/venv/bin/python" -m pip install -q ".[test]" \
    --config-settings=cmake.build-type=RelWithDebInfo \
    --config-settings="cmake.define.CMAKE_CXX_FLAGS=$flags" \
    --config-settings=build-dir="$out/ext" || exit 1
runtime=$("$out/venv/bin/python" -c "import atheris; print(atheris.path())")/asan_with_fuzzer.so
boundary_status=0
rm -f "$out/boundary-stats.json"
# Python objects through malloc so that ASan sees them too; malloc_limit_mb
# high because configurations may reserve idle room of several GiB.
KESTOV_FUZZ_STATS="$out/boundary-stats.json" LD_PRELOAD="$runtime" PYTHONMALLOC=malloc \
  ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
  "$out/venv/bin/python" fuzz/boundary_fuzz.py -max_total_time="$boundary_seconds" -max_len=1024 -len_control=0 \
    -rss_limit_mb=4096 -malloc_limit_mb=2000000 -print_final_stats=1 -artifact_prefix="$out/" \
    "$out/corpus-boundary" >"$out/boundary.log" 2>&1 || boundary_status=1
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/boundary.log")
calls=$("$out/venv/bin/python" -c "import json; s = json.load(open('$out/boundary-stats.json'))
print(s['calls'], 'generated calls (', ', '.join(f'{v} {k}' for k, v in sorted(s.items()) if k[0].isupper()),
      ') and', s['probe calls'], 'probe calls;', s.get('restore attempts', 0), 'restore attempts by __setstate__ of which',
      s.get('restores loaded', 0), 'loaded, and', s.get('pickle restore attempts', 0), 'by pickle.loads of which',
      s.get('pickle restores loaded', 0), 'loaded')" 2>/dev/null)
summary+=("boundary (atheris): ${runs:-?} inputs in ${boundary_seconds} s, at least ${calls:-?}, findings: $boundary_status")
[ $boundary_status = 0 ] || { tail -n 60 "$out/boundary.log"; status=1; }

printf 'fuzz: %s\n' "${summary[@]}"
exit $status
