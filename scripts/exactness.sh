#!/usr/bin/env bash
# The same bits everywhere: builds the core's golden test
# (core/tests/golden_test.cpp, against tests/data/golden.txt) with each
# compiler, optimisation level, processor and fused multiply-add choice
# below, runs it, and runs the Python golden test with the batch loops'
# fused copy and with the portable one. Prints one line per configuration;
# fails if a build fails or any output differs from the file.
#
#   bash scripts/exactness.sh
#
# Builds go to build/exactness/<configuration>, two at a time (JOBS=N for
# more). Whatever is missing comes from Debian: clang, the aarch64 cross
# compiler, qemu-user and g++'s 32-bit x86 libraries. CMAKE, NINJA and
# PYTHON name the tools (by default those of .venv, which scripts/test.sh
# sets up, else the ones on PATH); PYTHON must have kestov installed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=build/exactness
mkdir -p "$out" || exit 1

pick() { if [ -x ".venv/bin/$1" ]; then echo "$root/.venv/bin/$1"; else command -v "$1"; fi; }
CMAKE=${CMAKE:-$(pick cmake)}
NINJA=${NINJA:-$(pick ninja)}
PYTHON=${PYTHON:-$(pick python)}
JOBS=${JOBS:-2}
if [ -z "$CMAKE" ] || [ -z "$NINJA" ] || [ -z "$PYTHON" ]; then
  echo "exactness: needs cmake, ninja and a python with kestov (set CMAKE, NINJA, PYTHON)" >&2
  exit 1
fi

# -- Tools from Debian -------------------------------------------------------
missing=()
command -v clang++ >/dev/null || missing+=(clang)
command -v aarch64-linux-gnu-g++ >/dev/null || missing+=(g++-aarch64-linux-gnu)
command -v qemu-aarch64 >/dev/null || command -v qemu-aarch64-static >/dev/null || missing+=(qemu-user)
# The versioned package: the plain g++-multilib conflicts with every cross
# compiler in Debian.
echo 'int main() {}' | g++ -m32 -x c++ - -o "$out/m32-probe" 2>/dev/null \
  || missing+=("g++-$(g++ -dumpversion | cut -d. -f1)-multilib")
if [ ${#missing[@]} -gt 0 ]; then
  echo "exactness: installing ${missing[*]} from Debian"
  { apt-get update -qq \
      && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
    >"$out/apt.log" 2>&1 || { cat "$out/apt.log"; echo "exactness: could not install ${missing[*]}" >&2; exit 1; }
fi
qemu=$(command -v qemu-aarch64 || command -v qemu-aarch64-static)
# What g++-multilib's /usr/include/asm link gives -m32 builds: the kernel's
# headers, which serve both widths of x86.
m32_include=
[ -e /usr/include/asm ] || m32_include="-idirafter /usr/include/$(g++ -dumpmachine)"

# -- Configurations ----------------------------------------------------------
# name|compiler|flags|how: "qemu" runs an aarch64 build under qemu-user,
# "installed" builds against the installed package instead of the source tree.
# With -mfma (or -march=native here, where the processor has it), std::fma
# is one inlined instruction; without, a call to libm. Each line says which.
# Clang warns that the candle rules combine booleans with & (on purpose: no
# branches), its one warning for the core; -Werror still holds for the rest.
clang_flags=-Wno-error=bitwise-instead-of-logical
configs=(
  "aarch64-gcc-O2|aarch64-linux-gnu-g++|-O2|qemu"
  "aarch64-gcc-O3|aarch64-linux-gnu-g++|-O3|qemu"
  "gcc-O0|g++|-O0|"
  "gcc-O2|g++|-O2|"
  "gcc-O3|g++|-O3|"
  "gcc-O3-native|g++|-O3 -march=native|"
  "gcc-O2-fma|g++|-O2 -mfma|"
  "clang-O0|clang++|-O0 $clang_flags|"
  "clang-O2|clang++|-O2 $clang_flags|"
  "clang-O3|clang++|-O3 $clang_flags|"
  "clang-O3-native|clang++|-O3 -march=native $clang_flags|"
  "clang-O2-fma|clang++|-O2 -mfma $clang_flags|"
  # No SSE flags here: the kestov::core target must add them.
  "i386-gcc-O2|g++|-m32 -O2 $m32_include|"
  "i386-gcc-O2-installed|g++|-m32 -O2 $m32_include|installed"
)

# The package, installed from a 64-bit configuration as usual, and a program
# that finds it.
"$CMAKE" -S . -B "$out/install" -G Ninja -DCMAKE_MAKE_PROGRAM="$NINJA" -DKESTOV_BUILD_PYTHON=OFF \
    >"$out/install.log" 2>&1 \
  && "$CMAKE" --install "$out/install" --prefix "$root/$out/prefix" >>"$out/install.log" 2>&1 \
  || { cat "$out/install.log"; exit 1; }
mkdir -p "$out/consumer"
cat >"$out/consumer/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.26)
project(golden_consumer LANGUAGES CXX)
find_package(kestov CONFIG REQUIRED)
add_executable(kestov_golden_test $root/core/tests/check.cpp $root/core/tests/golden_test.cpp)
target_link_libraries(kestov_golden_test PRIVATE kestov::core)
target_compile_options(kestov_golden_test PRIVATE -Wall -Wextra -Werror)
target_compile_definitions(kestov_golden_test PRIVATE KESTOV_GOLDEN_FILE="$root/tests/data/golden.txt")
EOF

# Builds and runs one configuration; writes "pass|what" or "fail|what" to <dir>/line.
run_config() {
  local name=$1 cxx=$2 flags=$3 how=$4 dir=$out/$1 source=. runner=()
  local extra=(-DKESTOV_BUILD_TESTS=ON -DKESTOV_WERROR=ON -DKESTOV_INSTALL=OFF -DKESTOV_BUILD_PYTHON=OFF)
  case $how in
    qemu)
      extra+=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64)
      runner=("$qemu" -L /usr/aarch64-linux-gnu) ;;
    installed) source=$out/consumer extra=(-DCMAKE_PREFIX_PATH="$root/$out/prefix") ;;
  esac
  mkdir -p "$dir" && rm -f "$dir/line" "$dir/run.log"
  if ! "$CMAKE" -S "$source" -B "$dir/build" -G Ninja -DCMAKE_MAKE_PROGRAM="$NINJA" -DCMAKE_BUILD_TYPE= \
         -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" "${extra[@]}" >"$dir/build.log" 2>&1 \
     || ! "$CMAKE" --build "$dir/build" --target kestov_golden_test >>"$dir/build.log" 2>&1; then
    echo "fail|build failed, see $dir/build.log" >"$dir/line"
    return
  fi
  local bin status summary
  bin=$(find "$dir/build" -name kestov_golden_test -type f | head -n 1)
  "${runner[@]}" "$bin" >"$dir/run.log" 2>&1
  status=$?
  summary=$(sed -n '/^golden: /{s/^golden: //; s/, 0 NaNs with other sign or payload bits//; p}' "$dir/run.log")
  local dump=objdump fma="std::fma a libm call"
  [ "$how" = qemu ] && dump=aarch64-linux-gnu-objdump
  [ "$("$dump" -d "$bin" | grep -cE '[[:space:]]v?fmadd[0-9a-z]*[[:space:]]')" -gt 0 ] && fma="std::fma an instruction"
  if [ $status = 0 ] && [ -n "$summary" ]; then
    echo "pass|$summary; $fma" >"$dir/line"
  else
    echo "fail|FAILED: ${summary:-no summary}, see $dir/run.log" >"$dir/line"
  fi
}

for config in "${configs[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n; done
  IFS='|' read -r name cxx flags how <<<"$config"
  run_config "$name" "$cxx" "$flags" "$how" &
done
wait

status=0
report() {  # name, pass or fail, what happened
  printf '%-24s %s\n' "$1" "$3"
  [ "$2" = pass ] || status=1
}
for config in "${configs[@]}"; do
  name=${config%%|*}
  IFS='|' read -r verdict what <"$out/$name/line" || { verdict=fail what="no result"; }
  report "$name" "$verdict" "$what"
done

# -- x87 arithmetic: refused, never different bits in silence ----------------
if g++ -std=c++20 -m32 -mfpmath=387 $m32_include -Icore/include -fsyntax-only -DKESTOV_GOLDEN_FILE='""' \
     core/tests/golden_test.cpp >"$out/x87.log" 2>&1; then
  report i386-gcc-x87 fail "compiled: excess precision was not refused"
elif grep -q "FLT_EVAL_METHOD" "$out/x87.log"; then
  report i386-gcc-x87 pass "refused at compile time (FLT_EVAL_METHOD 2), as it must be"
else
  report i386-gcc-x87 fail "failed for another reason, see $out/x87.log"
fi

# -- The test can fail: a copy with three outputs spoilt ---------------------
"$PYTHON" - tests/data/golden.txt "$out/spoilt.txt" <<'PY'
import sys
lines = open(sys.argv[1]).read().split("\n")
case = next(i for i, line in enumerate(lines) if line.startswith("case|"))
fields = lines[case].split("|")
outs = fields[4].split(" ")
first = next(i for i, o in enumerate(outs) if o != "-")
outs[first] = outs[first][:-1] + format(int(outs[first][-1], 16) ^ 1, "x")  # its last bit
outs[first - 1] = "0000000000000000"  # a value where there is none
lines[case] = "|".join(fields[:4] + [" ".join(outs)])
zero = next(i for i, line in enumerate(lines) if line.startswith("case|") and " 8000000000000000" in line)
lines[zero] = lines[zero].replace(" 8000000000000000", " 0000000000000000", 1)  # 0.0 for -0.0
open(sys.argv[2], "w").write("\n".join(lines))
PY
spoilt=$(KESTOV_GOLDEN="$out/spoilt.txt" "$out/gcc-O2/build/core/tests/kestov_golden_test" 2>/dev/null \
  | sed -n 's/^golden: //p')
case $spoilt in
  *" 3 mismatches"*) report spoilt-copy pass "3 differences planted, 3 found" ;;
  *) report spoilt-copy fail "3 differences planted, found: ${spoilt:-nothing}" ;;
esac

# -- The Python module: update and batch, with the fused copy and without ----
values=$(sed -n 's/^golden: [0-9]* cases, \([0-9]*\) values checked.*/\1/p' "$out/gcc-O2/run.log")
if grep -qw fma /proc/cpuinfo 2>/dev/null; then copy="the fma copy"; else copy="the portable copy: no fma here"; fi
unset KESTOV_NO_HARDWARE_FMA
for mode in default portable; do
  if [ $mode = portable ]; then export KESTOV_NO_HARDWARE_FMA=1 copy="the portable copy, forced"; fi
  (cd tests && "$PYTHON" -m pytest -q -p no:cacheprovider test_golden.py test_many.py) >"$out/python-$mode.log" 2>&1
  verdict=$?
  result=$(tail -n 1 "$out/python-$mode.log")
  if [ $verdict = 0 ]; then
    report "python-$mode" pass "${values:-?} values checked by update and by batch ($copy), 0 mismatches"
  else
    report "python-$mode" fail "FAILED: $result, see $out/python-$mode.log"
  fi
done
unset KESTOV_NO_HARDWARE_FMA

if [ $status = 0 ]; then echo "exactness: every configuration gives the golden bits"; else echo "exactness: FAILED"; fi
exit $status
