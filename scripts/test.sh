#!/usr/bin/env bash
# Builds both presets and runs every test: natively, then the Windows build
# under Wine with a Russian (1251) and an English (1252) code page, each in a
# prefix made fresh for the run.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
"$root/scripts/setup.sh" || exit 1

jobs=$(nproc)
results="$(mktemp)"
trap 'rm -f "$results"' EXIT

# Runs ctest, keeps its log and counts the tests that passed and failed.
run_ctest() {
  local label="$1"; shift
  local log="$root/build/ctest-$label.log"
  echo "== $label"
  ctest "$@" --output-on-failure -j"$jobs" 2>&1 | tee "$log" | grep -E '^(.*tests passed|.*\*\*\*Failed|.*\*\*\*Timeout|.*\*\*\*Exception|.*Not Run)' || true
  local line total failed
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then echo "$label: ctest did not finish" >&2; echo "0 1" >>"$results"; return; fi
  failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  echo "$((total - failed)) $failed" >>"$results"
}

# Runs a folder of Python end-to-end tests and counts them as ctest's are.
run_unittests() {
  local label="$1" folder="$2" limit="$3" log="$root/build/$4.log" n bad
  if (cd "$folder" && timeout "$limit" python3 -m unittest discover -p 'test_*.py' -v) >"$log" 2>&1; then
    n=$(grep -Eo '^Ran [0-9]+' "$log" | grep -Eo '[0-9]+'); echo "$n 0" >>"$results"
    echo "$label: $n passed"
  else
    tail -60 "$log"
    n=$(grep -Eo '^Ran [0-9]+' "$log" | grep -Eo '[0-9]+' || echo 0)
    bad=$(grep -Eo '(failures|errors)=[0-9]+' "$log" | awk -F= '{s+=$2} END {print (s>0)?s:1}')
    echo "$(( ${n:-0} > bad ? ${n:-0} - bad : 0 )) $bad" >>"$results"
  fi
}

echo "== build linux"
{ cmake --preset linux >/dev/null && cmake --build --preset linux -j"$jobs" >build-linux.log 2>&1; } ||
  { tail -50 build-linux.log; echo "0 passed, 1 failed"; exit 1; }
run_ctest linux --preset linux

# The fuzz targets, a fixed number of inputs each (scripts/fuzz.sh runs them
# for as long as asked).
echo "== build fuzz targets"
if CC=clang CXX=clang++ cmake -S "$root" -B build/fuzz -DLUM_BUILD_FUZZERS=ON >/dev/null &&
   cmake --build build/fuzz -j"$jobs" >build-fuzz.log 2>&1; then
  run_ctest fuzz --test-dir build/fuzz
else
  tail -30 build-fuzz.log; echo "0 1" >>"$results"
fi
rm -f build-fuzz.log

echo "== fake servers"
if python3 -m unittest tests/fake_isp/test_fake_isp.py >build/fake-isp-tests.log 2>&1; then
  n=$(grep -Eo 'Ran [0-9]+' build/fake-isp-tests.log | grep -Eo '[0-9]+'); echo "$n 0" >>"$results"
else
  cat build/fake-isp-tests.log; echo "0 1" >>"$results"
fi

# The start page in a real browser engine.
if [ -x tests/e2e/page/run.sh ]; then
  echo "== start page"
  if tests/e2e/page/run.sh >build/page-tests.log 2>&1; then :; else cat build/page-tests.log; fi
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' build/page-tests.log | tail -1)
  if [ -n "$line" ]; then
    echo "$line"; awk '{print $1, $3}' <<<"$line" >>"$results"
  else
    echo "start page tests did not finish"; echo "0 1" >>"$results"
  fi
fi

echo "== build windows"
{ cmake --preset windows >/dev/null && cmake --build --preset windows -j"$jobs" >build-windows.log 2>&1; } ||
  { tail -50 build-windows.log; echo "0 passed, 1 failed"; exit 1; }
# The program as shipped, for the end-to-end test that it ignores the
# test builds' server variables.
{ cmake --preset windows-release >/dev/null &&
  cmake --build --preset windows-release -j"$jobs" >build-windows.log 2>&1; } ||
  { tail -50 build-windows.log; echo "0 passed, 1 failed"; exit 1; }
rm -f build-linux.log build-windows.log

# Real windows need a screen: a virtual one for the rest of the run.
display=""
for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'rm -f "$results"; kill $xvfb_pid 2>/dev/null' EXIT
export DISPLAY="$display"
sleep 1

# The Linux desktop edition: its centre in the browser engine, driven on the
# virtual screen as a person would.
echo "== desktop edition"
if { cmake --preset desktop >/dev/null && cmake --build --preset desktop -j"$jobs" >build/desktop-build.log 2>&1; }; then
  run_unittests "desktop edition" tests/e2e/desktop 900 desktop-tests
else
  tail -50 build/desktop-build.log; echo "0 1" >>"$results"
fi

for lang in ru_RU.UTF-8:1251 en_US.UTF-8:1252; do
  locale_name="${lang%%:*}"; codepage="${lang##*:}"
  prefix="$root/build/windows/wineprefix-$codepage"
  LC_ALL="$locale_name" "$root/scripts/wine-prefix" "$prefix"
  # Keep one wineserver for the run, its output away from ctest's pipes.
  # Wine's system processes, started by the first program, would otherwise
  # inherit ctest's pipes and keep it waiting.
  (export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL="$locale_name"
   /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null
   /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 </dev/null)
  LC_ALL="$locale_name" LUM_WINEPREFIX="$prefix" LUM_EXPECT_CODEPAGE="$codepage" \
    run_ctest "windows-cp$codepage" --preset windows
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
done

echo "== end to end under Wine"
run_unittests "end to end" tests/e2e 2400 e2e-tests
grep -E 'second install' build/e2e-tests.log || true

read -r passed failed < <(awk '{p+=$1; f+=$2} END {print p+0, f+0}' "$results")
echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
