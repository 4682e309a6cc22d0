#!/bin/sh
# Usage: stop.sh PORTFILE
# Stops the server started by start.sh PORTFILE and removes PORTFILE and
# PORTFILE.pid (PORTFILE.log is kept for a look after a failure).
set -u
if [ $# -ne 1 ]; then
    echo "usage: $0 PORTFILE" >&2
    exit 2
fi
portfile=$1
if [ -f "$portfile.pid" ]; then
    pid=$(cat "$portfile.pid")
    if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then
        tries=0
        while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 50 ]; do
            tries=$((tries + 1))
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null
    fi
fi
rm -f "$portfile" "$portfile.pid"
exit 0
