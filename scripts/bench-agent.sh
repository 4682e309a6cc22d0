#!/usr/bin/env bash
# Memory and start-up of the Linux desktop agent next to a bare GTK 3 tray
# program (bench/bare_tray_icon.cpp: an XEmbed icon and a hidden popup),
# each alone on a screen of its own with a tray host (trayer), side by side,
# several rounds. Per round and program:
#   start   ms from the process start to "tray icon shown" (the tray took it)
#   idle    PSS, RSS, Pss_Anon and the number of mappings, both read at the
#           same moment, after the agent's first poll (5 s after its start)
#           against a news feed on loopback that holds nothing new, as an
#           agent spends its day
# Then, for the last agent, its PSS library by library next to the bare
# program's.
#
#   scripts/bench-agent.sh [rounds, default 5]
#
# LUM_BENCH_DISPLAYS="43 44" names the two screens to use; else free ones
# from :161 up. No window manager runs there: one mapping GTK itself would
# share its pages with both programs and change every PSS.
set -euo pipefail
export LC_ALL=C
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

rounds="${1:-5}"
if ! [[ "$rounds" =~ ^[1-9][0-9]{0,2}$ ]]; then
  echo "usage: $0 [rounds, 1-999]" >&2
  exit 2
fi
for tool in Xvfb trayer; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

# --- build (the same program folder as bench-page.sh) ---
centre_dir=build/bench-desktop
tool_dir=build/bench-agent
[[ -f "$centre_dir/CMakeCache.txt" ]] || cmake --preset desktop -B "$centre_dir" >/dev/null
nice -n 19 cmake --build "$centre_dir" -j2 --target lum_help >/dev/null
nice -n 19 cmake --build "$centre_dir" -j2 >/dev/null
program="$root/$centre_dir/LumCenter"
mkdir -p "$tool_dir"
bare="$root/$tool_dir/bare_tray_icon"
if [[ ! -x "$bare" || bench/bare_tray_icon.cpp -nt "$bare" ]]; then
  # shellcheck disable=SC2046  # pkg-config's words are separate arguments
  nice -n 19 g++ -std=c++20 -O2 -Wall -Wextra -o "$bare" bench/bare_tray_icon.cpp \
    $(pkg-config --cflags --libs gtk+-3.0)
fi

# --- the run's folder, screens, tray hosts and news feed ---
state="$(mktemp -d /tmp/lum-bench.XXXXXX)"
isp_port=""
# shellcheck source=scripts/bench-lib.sh
. "$root/scripts/bench-lib.sh"
finish() {
  [[ -n "$isp_port" ]] && tests/fake_isp/stop.sh "$state/isp-port" >/dev/null 2>&1
  bench_cleanup
}
trap finish EXIT
trap 'exit 130' INT TERM

start_screen 161 190
agent_display=$display
start_screen 161 190
bare_display=$display
mkdir -p "$state/home" "$state/cache" "$state/data"
isp_port=$(tests/fake_isp/start.sh "$state/isp-port")

# One run's environment: nothing of the caller's, no session bus (so the
# XEmbed tray, and nothing started that outlives the run), the news feed on
# loopback and the other servers where nothing listens.
run_env() {  # folder of the run
  local dir="$1"
  echo PATH=/usr/bin:/bin HOME="$state/home" LANG=C.UTF-8 DISPLAY="$run_display" \
    TMPDIR="$dir/tmp" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime" \
    XDG_CACHE_HOME="$state/cache" XDG_DATA_HOME="$state/data" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$state/no-session-bus" \
    LUM_TRACE_PAGE_LOAD=1 LUMCENTER_NEWS_SERVER="127.0.0.1:$isp_port" \
    LUMCENTER_BILLING_SERVER=127.0.0.1:1 LUMCENTER_MAKER_SERVER=127.0.0.1:1
}

for run_display in "$agent_display" "$bare_display"; do
  mkdir -p "$state/tray-$run_display"
  spawn "$state/tray-$run_display" /dev/null trayer --edge bottom --align right --widthtype request --height 24
done
sleep 1

# smaps_rollup's Pss, Rss and Pss_Anon in kB, and the number of mappings.
memory() {  # pid
  local pss rss anon maps
  read -r pss rss anon < <(awk '/^Pss:/ { p = $2 } /^Rss:/ { r = $2 } /^Pss_Anon:/ { a = $2 }
                               END { print p, r, a }' "/proc/$1/smaps_rollup")
  maps=$(wc -l <"/proc/$1/maps")
  echo "$pss $rss $anon $maps"
}

# PSS in kB by mapped file (anonymous mappings by their kind) of a process.
pss_by_file() {  # pid
  awk '/^[0-9a-f]+-[0-9a-f]+ / { name = NF >= 6 ? $6 : "[anonymous]"; sub(".*/", "", name); next }
       /^Pss:/ { pss[name] += $2 }
       END { for (n in pss) print n, pss[n] }' "/proc/$1/smaps"
}

wait_until_age() {  # t0 in microseconds, age in seconds
  local left=$(($1 + $2 * 1000000 - ${EPOCHREALTIME/./}))
  ((left > 0)) && sleep "$((left / 1000000)).$(printf %06d $((left % 1000000)))"
  return 0
}

count=0
declare -A results  # kind -> "start pss rss anon maps" lines
declare -A pids starts fds

# Starts one program on its screen and waits for its icon in the tray.
start_one() {  # kind: agent or bare
  local kind="$1" dir fd t0
  count=$((count + 1))
  dir="$state/run-$count-$kind"
  mkdir -p "$dir/tmp" "$dir/config/lumora" "$dir/runtime"
  chmod 700 "$dir/runtime"
  # The feed's newest item is the one announced last: the poll finds nothing new.
  printf '[Settings]\nlastlink=http://news.example/item/2\n' >"$dir/config/lumora/Corvalin.ini"
  mkfifo "$dir/stderr"
  local -a command=("$bare")
  if [[ "$kind" == agent ]]; then
    run_display=$agent_display
    command=("$program" /agent)
  else
    run_display=$bare_display
  fi
  t0=${EPOCHREALTIME/./}
  spawn "$dir" "$dir/stderr" "${command[@]}"
  pids[$kind]=$spawned
  exec {fd}<"$dir/stderr"
  fds[$kind]=$fd  # kept open: the program may write more
  starts[$kind]=""
  if wait_line "$fd" "tray icon shown" $((t0 + 20000000)) "$dir/messages"; then
    starts[$kind]=$((seen_at - t0))
  else
    echo "run $count ($kind): no tray icon within 20 s" >&2
    [[ -f "$dir/messages" ]] && sed 's/^/  /' "$dir/messages" | head -5 >&2
  fi
  last_start=$t0
}

# One round: the two programs started one after the other (each start
# undisturbed by the other's), then both measured at the same moment, 9 s
# after the later start, so that whatever else runs on the machine shares
# its pages with both alike.
round() {  # first kind, second kind
  local kind fd ok=1
  start_one "$1"
  start_one "$2"
  wait_until_age "$last_start" 9
  for kind in agent bare; do
    [[ -n "${starts[$kind]}" ]] || ok=0
  done
  if ((ok)); then
    for kind in agent bare; do
      results[$kind]+="${starts[$kind]} $(memory "${pids[$kind]}")"$'\n'
      pss_by_file "${pids[$kind]}" | sort >"$state/last-$kind"
    done
  fi
  for kind in agent bare; do
    end_group "${pids[$kind]}"; forget "${pids[$kind]}"
    fd=${fds[$kind]}
    exec {fd}<&-
  done
  rm -rf "$state"/run-*
  ((ok))
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
failed=0
round agent bare || true  # warm-up: caches, not counted
results=()
for n in $(seq "$rounds"); do
  if ((n % 2)); then round agent bare || failed=$((failed + 1))
  else round bare agent || failed=$((failed + 1)); fi
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

column() {  # kind, field number -> its values
  awk -v f="$2" 'NF { print $f }' <<<"${results[$1]}"
}

echo "Agent against a bare GTK tray program ($rounds rounds, alternating which starts first; one"
echo "warm-up round not counted; screens $agent_display and $bare_display with trayer; memory 9 s after"
echo "the later start, the agent's first poll done; load $load_before -> $load_after)"
printf '%-26s %23s %23s %7s\n' "" "agent: median min max" "bare: median min max" "ratio"
declare -A med
row() {  # label, field, scale
  local label="$1" field="$2" m lo hi line=""
  for kind in agent bare; do
    # shellcheck disable=SC2046  # the values are words
    read -r m lo hi <<<"$(scale="$3" median_of $(column "$kind" "$field"))"
    med[$kind]=$m
    line+=$(printf ' %7s %7s %7s' "$m" "$lo" "$hi")
  done
  printf '%-26s %s %7s\n' "$label" "$line" "$(awk -v a="${med[agent]}" -v b="${med[bare]}" \
    'BEGIN { if (b + 0 > 0) printf "%.2f", a / b; else print "-" }')"
}
row "start to icon shown, ms" 1 1000
row "PSS idle, MB" 2 1024
row "RSS idle, MB" 3 1024
row "Pss_Anon idle, MB" 4 1024
row "mappings" 5 1
echo "(aim: the agent's idle PSS at most 1.5 x the bare program's, its start at most 1.3 x)"

if [[ -s "$state/last-agent" && -s "$state/last-bare" ]]; then
  echo
  echo "The last agent's PSS by mapped file, kB, next to the bare program's (over 150 kB either side):"
  join -a 1 -a 2 -e 0 -o 0,1.2,2.2 "$state/last-agent" "$state/last-bare" |
    awk '$2 > 150 || $3 > 150 { print $2 - $3, $1, $2, $3 }' | sort -n -r |
    awk '{ printf "  %-44s %8d %8d %+8d\n", $2, $3, $4, $1 }'
fi
((failed == 0))
