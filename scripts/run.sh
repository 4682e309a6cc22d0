#!/usr/bin/env bash
# The demo: the fake servers on loopback standing in for the service, and the
# program against them.
#
#   scripts/run.sh             the Linux desktop edition (GTK, WebKitGTK)
#   scripts/run.sh --windows   LumCenter.exe under Wine, in a prefix of its own
#
# Settings, temporary files and the session's runtime folder live in
# build/demo*, never in the user's own folders.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
"$root/scripts/setup.sh"

windows=0
if [ "${1:-}" = "--windows" ]; then windows=1; shift; fi

start_servers() {
  mkdir -p "$state"
  port=$("$root/tests/fake_isp/start.sh" "$state/fake_isp.port")
  export LUMCENTER_BILLING_SERVER="127.0.0.1:$port"
  export LUMCENTER_NEWS_SERVER="127.0.0.1:$port"
  export LUMCENTER_MAKER_SERVER="127.0.0.1:$port"
}

cleanup=()
on_exit() { for c in "${cleanup[@]}"; do eval "$c" || true; done; }
trap on_exit EXIT

need_screen() {
  if [ -z "${DISPLAY:-}" ]; then
    # No screen: a virtual one, so that the windows have somewhere to live.
    Xvfb :77 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    cleanup+=("kill $! 2>/dev/null")
    export DISPLAY=:77
    sleep 1
    echo "no DISPLAY: the program runs on the virtual screen :77"
  fi
}

if [ $windows = 1 ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j"$(nproc)" --target LumCenter >/dev/null
  state="$root/build/demo"
  start_servers
  cleanup+=("'$root/tests/fake_isp/stop.sh' '$state/fake_isp.port'")
  export LC_ALL=ru_RU.UTF-8
  export WINEPREFIX="$state/wineprefix"
  [ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix" "$WINEPREFIX"
  need_screen
  echo "fake servers on 127.0.0.1:$port; starting LumCenter.exe $*"
  WINEDEBUG=-all /usr/lib/wine/wine64 "$root/build/windows/LumCenter.exe" "$@" && rc=0 || rc=$?
  echo "LumCenter.exe ended with $rc"
  exit 0
fi

cmake --preset desktop >/dev/null
cmake --build --preset desktop -j"$(nproc)" --target LumCenter >/dev/null
state="$root/build/demo-desktop"
start_servers
cleanup+=("'$root/tests/fake_isp/stop.sh' '$state/fake_isp.port'")
mkdir -p "$state/config" "$state/tmp" "$state/cache" "$state/data"
mkdir -p -m 0700 "$state/run"
export XDG_CONFIG_HOME="$state/config" XDG_CACHE_HOME="$state/cache" XDG_DATA_HOME="$state/data"
export XDG_RUNTIME_DIR="$state/run" TMPDIR="$state/tmp"
need_screen
echo "fake servers on 127.0.0.1:$port"
echo "demo login: user, password: secret (enter them under \"Настройки\", then open \"Сервис\")"
echo "settings file: $XDG_CONFIG_HOME/lumora/Corvalin.ini"
# The centre starts its agent, which lives on after the centre closes, as it
# does at a user's desktop; the demo ends both. Their own process group
# tells them apart from any other copy of the program.
setsid "$root/build/desktop/LumCenter" "$@" &
centre=$!
cleanup+=("kill -- -$centre 2>/dev/null")
wait $centre && rc=0 || rc=$?
echo "LumCenter ended with $rc"
