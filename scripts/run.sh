#!/usr/bin/env bash
# The demo: builds LumCenter.exe and starts it under Wine in a prefix of its
# own, with the fake servers on loopback standing in for the service.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
"$root/scripts/setup.sh"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target LumCenter >/dev/null

state="$root/build/demo"
mkdir -p "$state"
port=$("$root/tests/fake_isp/start.sh" "$state/fake_isp.port")
trap '"$root/tests/fake_isp/stop.sh" "$state/fake_isp.port"' EXIT
export LUMCENTER_BILLING_SERVER="127.0.0.1:$port"
export LUMCENTER_NEWS_SERVER="127.0.0.1:$port"
export LUMCENTER_MAKER_SERVER="127.0.0.1:$port"

export LC_ALL=ru_RU.UTF-8
export WINEPREFIX="$state/wineprefix"
[ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix" "$WINEPREFIX"
if [ -z "${DISPLAY:-}" ]; then
  # No screen: a virtual one, so that the windows have somewhere to live.
  Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb=$!
  trap '"$root/tests/fake_isp/stop.sh" "$state/fake_isp.port"; kill $xvfb' EXIT
  export DISPLAY=:77
  sleep 1
fi
echo "fake servers on 127.0.0.1:$port; starting LumCenter.exe $*"
WINEDEBUG=-all /usr/lib/wine/wine64 "$root/build/windows/LumCenter.exe" "$@"
echo "LumCenter.exe ended with $?"
