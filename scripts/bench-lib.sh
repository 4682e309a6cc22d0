# shellcheck shell=bash disable=SC2034,SC2154  # sourced: the script sets and reads these
# Shared by the desktop measuring scripts (bench-page.sh, bench-agent.sh):
# screens of their own, process groups started and ended, medians. Sourced;
# the script sets $state (its folder) and defines run_env (one run's
# environment, given the run's folder) before it spawns anything.

started=()      # process groups still to end
screen_pids=()  # the Xvfb servers started

members() {  # the live processes of group $1 other than its leader
  ps -eo pid=,pgid=,stat= | awk -v g="$1" '$2 == g && $1 != g && $3 !~ /^Z/ { print $1 }'
}

alive() {  # an ended child stays a zombie until it is waited for
  local stat
  stat=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ "$stat" != Z* ]]
}

end_group() {  # the process group led by $1: the helpers first, then the leader
  local leader="$1" _
  local -a others
  # While their parent is there to collect them: nothing is left to linger
  # as a zombie.
  mapfile -t others < <(members "$leader")
  if ((${#others[@]})); then
    kill -TERM "${others[@]}" 2>/dev/null || true
    for _ in $(seq 20); do
      mapfile -t others < <(members "$leader")
      ((${#others[@]})) || break
      sleep 0.05
    done
    if ((${#others[@]})); then kill -KILL "${others[@]}" 2>/dev/null || true; fi
    for _ in $(seq 5); do  # a moment for the parent to collect them
      ps -eo pgid=,pid=,stat= | awk -v g="$leader" '$1 == g && $2 != g && $3 ~ /^Z/ { f = 1 } END { exit !f }' || break
      sleep 0.05
    done
  fi
  kill -TERM "$leader" 2>/dev/null || true
  for _ in $(seq 20); do
    alive "$leader" || break
    sleep 0.05
  done
  kill -KILL -- "-$leader" 2>/dev/null || true
  wait "$leader" 2>/dev/null || true
}

bench_cleanup() {
  local g p
  for g in "${started[@]}"; do end_group "$g"; done
  for p in "${screen_pids[@]}"; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$state"
}

# Starts an Xvfb of its own and sets $display. The numbers tried are those of
# LUM_BENCH_DISPLAYS ("43 44" or ":43 :44") when set, else $1 to $2; one in
# use is passed over.
start_screen() {  # first, last
  local n pid candidates
  if [[ -n "${LUM_BENCH_DISPLAYS:-}" ]]; then
    candidates="${LUM_BENCH_DISPLAYS//:/}"
  else
    candidates="$(seq "$1" "$2")"
  fi
  display=""
  for n in $candidates; do
    [[ "$n" =~ ^[0-9]+$ ]] || continue
    [[ -e "/tmp/.X$n-lock" || -e "/tmp/.X11-unix/X$n" ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset </dev/null >"$state/xvfb-$n.log" 2>&1 &
    pid=$!
    for _ in $(seq 50); do
      [[ -S "/tmp/.X11-unix/X$n" ]] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if [[ -S "/tmp/.X11-unix/X$n" ]] && kill -0 "$pid" 2>/dev/null; then
      display=":$n"
      screen_pids+=("$pid")
      return 0
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  echo "no free display among: ${candidates//$'\n'/ }" >&2
  return 1
}

# Starts "$@" in a process group of its own with the run's environment; the
# group's leader in $spawned.
spawn() {  # folder, stderr file, command...
  local dir="$1" err="$2"
  shift 2
  # shellcheck disable=SC2046  # run_env's words are separate assignments
  setsid env -i $(run_env "$dir") "$@" </dev/null >/dev/null 2>"$err" &
  spawned=$!
  started+=("$spawned")
}

forget() {  # a group ended
  local g kept=()
  for g in "${started[@]}"; do [[ "$g" == "$1" ]] || kept+=("$g"); done
  started=("${kept[@]}")
}

tick=$(getconf CLK_TCK)

# User and system time of a group's processes so far, in microseconds.
group_cpu() {  # leader
  local q stat total=0
  local -a f
  for q in $(ps -eo pid=,pgid= | awk -v g="$1" '$2 == g { print $1 }'); do
    stat=$(cat "/proc/$q/stat" 2>/dev/null) || continue
    read -r -a f <<<"${stat##*) }"  # fields from the state on
    total=$((total + f[11] + f[12] + f[13] + f[14]))
  done
  echo $((total * 1000000 / tick))
}

# Waits for a line starting with a prefix on a FIFO, until a deadline (in
# microseconds of EPOCHREALTIME); sets $seen_at to when it came, "" if not.
# Other lines go to $1.messages.
wait_line() {  # fifo file descriptor, prefix, deadline, messages file
  local fd="$1" prefix="$2" deadline="$3" log="$4" now wait_us line
  seen_at=""
  while true; do
    now=${EPOCHREALTIME/./}
    wait_us=$((deadline - now))
    ((wait_us > 0)) || return 1
    if ! IFS= read -r -t "$((wait_us / 1000000)).$(printf %06d $((wait_us % 1000000)))" -u "$fd" line; then
      return 1  # the program ended or said nothing in time
    fi
    if [[ "$line" == "$prefix"* ]]; then
      seen_at=${EPOCHREALTIME/./}
      return 0
    fi
    echo "$line" >>"$log"
  done
}

median_of() {  # values... -> "median min max", each divided by $scale (default 1000)
  printf '%s\n' "$@" | sort -n | awk -v s="${scale:-1000}" '
    { v[NR] = $1 }
    END {
      if (NR == 0) { print "- - -"; exit }
      m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "%.1f %.1f %.1f\n", m / s, v[1] / s, v[NR] / s
    }'
}
