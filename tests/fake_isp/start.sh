#!/bin/sh
# Usage: start.sh PORTFILE [fake_isp.py options...]
# Starts the fake servers in the background and prints the port once listening.
# Output goes to PORTFILE.log, the process id to PORTFILE.pid.
set -u
if [ $# -lt 1 ]; then
    echo "usage: $0 PORTFILE [options...]" >&2
    exit 2
fi
portfile=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
rm -f "$portfile" "$portfile.pid"
# Detached from our stdout/stderr so a caller capturing them (CTest) does not wait on it.
${PYTHON:-python3} "$here/fake_isp.py" --port-file "$portfile" "$@" \
    </dev/null >"$portfile.log" 2>&1 &
pid=$!
echo "$pid" >"$portfile.pid"
tries=0
while [ ! -s "$portfile" ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "fake_isp exited early; log follows:" >&2
        cat "$portfile.log" >&2
        rm -f "$portfile.pid"
        exit 1
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        echo "fake_isp did not start within 10 s" >&2
        kill "$pid" 2>/dev/null
        rm -f "$portfile.pid"
        exit 1
    fi
    sleep 0.1
done
cat "$portfile"
