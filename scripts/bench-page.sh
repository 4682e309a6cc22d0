#!/usr/bin/env bash
# Start-up of the Linux desktop centre: time from starting the process to its
# start page loaded, next to a bare window that loads the same page from the
# same help file in the same engine. Measured side by side, alternating, on a
# screen of its own:
#   a  the bare window, drawing in software (as the centre draws)
#   b  the bare window, with the engine's default drawing
#   c  the centre while its agent is already running
#   d  the centre when no agent runs (it starts one)
#
#   scripts/bench-page.sh [runs of each, default 15]
#
# Every run has fresh temporary, settings and runtime folders of its own, so
# that no other centre or agent is found, and ends every process it started.
set -euo pipefail
export LC_ALL=C
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

runs="${1:-15}"
if ! [[ "$runs" =~ ^[1-9][0-9]{0,3}$ ]]; then
  echo "usage: $0 [runs of each, 1-9999]" >&2
  exit 2
fi

# --- build ---
centre_dir=build/bench-desktop
tool_dir=build/bench-page
[[ -f "$centre_dir/CMakeCache.txt" ]] || cmake --preset desktop -B "$centre_dir" >/dev/null
# The help file first: the resource rules of two targets share its command,
# and run side by side they trip over each other's output.
nice -n 19 cmake --build "$centre_dir" -j2 --target lum_help >/dev/null
nice -n 19 cmake --build "$centre_dir" -j2 >/dev/null
centre="$root/$centre_dir/LumCenter"
help_file="$root/$centre_dir/resources/help/lumcenter.chm"
mkdir -p "$tool_dir"
bare="$root/$tool_dir/bare_page_window"
if [[ ! -x "$bare" || bench/bare_page_window.cpp -nt "$bare" ]]; then
  # shellcheck disable=SC2046  # pkg-config's words are separate arguments
  nice -n 19 g++ -std=c++20 -O2 -Wall -Wextra -o "$bare" bench/bare_page_window.cpp \
    $(pkg-config --cflags --libs gtk+-3.0 webkit2gtk-4.1) -lchm
fi

# --- the run's own folder and screen ---
# Under /tmp, short: the centre's rendezvous sockets live in the runtime
# folder, and a path too long for a socket address would send it to the
# shared fallback folder, where a centre of the user's could be found.
state="$(mktemp -d /tmp/lum-bench.XXXXXX)"
# shellcheck source=scripts/bench-lib.sh
. "$root/scripts/bench-lib.sh"
trap bench_cleanup EXIT
trap 'exit 130' INT TERM

start_screen 130 160

mkdir -p "$state/home" "$state/cache" "$state/data"

# One run's environment: nothing of the caller's, and all servers on a
# loopback port where nothing listens (no request leaves the machine). There
# is no session bus, so nothing can start one that outlives the run. The
# cache and data folders are kept over the runs, as a user's are.
run_env() {  # folder of the run
  local dir="$1"
  echo PATH=/usr/bin:/bin HOME="$state/home" LANG=C.UTF-8 DISPLAY="$display" \
    TMPDIR="$dir/tmp" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime" \
    XDG_CACHE_HOME="$state/cache" XDG_DATA_HOME="$state/data" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$state/no-session-bus" \
    LUM_TRACE_PAGE_LOAD=1 LUMCENTER_BILLING_SERVER=127.0.0.1:1 \
    LUMCENTER_NEWS_SERVER=127.0.0.1:1 LUMCENTER_MAKER_SERVER=127.0.0.1:1
}

count=0
elapsed=""  # of the last run, in microseconds; "" when it failed
cpu=""      # processor time its process group had used by then, in microseconds
measure() {  # variant
  local variant="$1" dir agent="" pid fd t0 deadline
  count=$((count + 1))
  dir="$state/run-$count-$variant"
  mkdir -p "$dir/tmp" "$dir/config" "$dir/runtime"
  chmod 700 "$dir/runtime"
  elapsed=""
  cpu=""
  if [[ "$variant" == c ]]; then
    spawn "$dir" "$dir/agent.err" "$centre" /agent
    agent=$spawned
    for _ in $(seq 100); do
      [[ -S "$dir/runtime/lumcenter/LumCenterAgentWndClass.sock" ]] && break
      sleep 0.05
    done
    if ! [[ -S "$dir/runtime/lumcenter/LumCenterAgentWndClass.sock" ]]; then
      echo "run $count ($variant): the agent did not come up" >&2
      end_group "$agent"; forget "$agent"
      return
    fi
    sleep 0.5  # let it settle: its start is not the centre's
  fi
  mkfifo "$dir/stderr"
  local -a command
  case "$variant" in
    a) command=("$bare" --accel=never "$help_file") ;;
    b) command=("$bare" --accel=default "$help_file") ;;
    c | d) command=("$centre") ;;
  esac
  t0=${EPOCHREALTIME/./}
  spawn "$dir" "$dir/stderr" "${command[@]}"
  pid=$spawned
  exec {fd}<"$dir/stderr"
  deadline=$((t0 + 30000000))
  if wait_line "$fd" "page loaded " "$deadline" "$dir/messages"; then
    elapsed=$((seen_at - t0))
    cpu=$(group_cpu "$pid")
  fi
  end_group "$pid"; forget "$pid"
  exec {fd}<&-
  if [[ -n "$agent" ]]; then end_group "$agent"; forget "$agent"; fi
  if [[ -z "$elapsed" ]]; then
    echo "run $count ($variant): no page loaded within 30 s" >&2
    [[ -f "$dir/messages" ]] && sed 's/^/  /' "$dir/messages" | head -5 >&2
  fi
  rm -rf "$dir"
}

declare -A times=([a]="" [b]="" [c]="" [d]="") cpus=([a]="" [b]="" [c]="" [d]="")
declare -A failed=([a]=0 [b]=0 [c]=0 [d]=0)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

for v in a b c d; do measure "$v"; done  # warm-up: caches, not counted
for _ in $(seq "$runs"); do
  for v in a b c d; do
    measure "$v"
    if [[ -n "$elapsed" ]]; then
      times[$v]+="$elapsed "
      cpus[$v]+="$cpu "
    else
      failed[$v]=$((failed[$v] + 1))
    fi
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

declare -A median
echo "Start page loaded, ms from the process start ($runs runs each, alternating a b c d;"
echo "one warm-up round not counted; display $display; load $load_before -> $load_after)"
printf '%-44s %7s %7s %7s %9s\n' "" median min max "CPU ms"
for v in a b c d; do
  case "$v" in
    a) name="a  bare window, software drawing" ;;
    b) name="b  bare window, engine's default drawing" ;;
    c) name="c  centre, agent already running" ;;
    d) name="d  centre, no agent (it starts one)" ;;
  esac
  # shellcheck disable=SC2086  # the lists' words are the times
  read -r med lo hi <<<"$(median_of ${times[$v]})"
  # shellcheck disable=SC2086
  read -r cpu_med _ _ <<<"$(median_of ${cpus[$v]})"
  median[$v]=$med
  note=""
  ((failed[$v] == 0)) || note=" (${failed[$v]} failed)"
  printf '%-44s %7s %7s %7s %9s%s\n' "$name" "$med" "$lo" "$hi" "$cpu_med" "$note"
done
echo "(CPU ms: median user and system time of the run's processes when the page was in)"
awk -v a="${median[a]}" -v c="${median[c]}" -v d="${median[d]}" 'BEGIN {
  if (a + 0 > 0) printf "c/a %.2f   d/a %.2f   (aim: c/a at most 1.10, d/a at most 1.15)\n", c / a, d / a
}'
total_failed=$((failed[a] + failed[b] + failed[c] + failed[d]))
((total_failed == 0))
