#!/bin/bash
# Starts and stops a test server in the background for a test run.
#   test-server.sh start STATE_DIR [OPTION...]
#                                   - serves STATE_DIR/root on 127.0.0.1 and a
#                                     free port; writes STATE_DIR/port and /pid;
#                                     OPTIONs go to test_server.py (--tls-cert ...)
#   test-server.sh stop STATE_DIR   - stops the server whose pid is in STATE_DIR/pid
# The server stops by itself after PELMORA_TEST_SERVER_SECONDS (default 1800).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
action="${1:-}"
state="${2:-}"
[ -n "$state" ] || { echo "usage: $0 start|stop STATE_DIR [OPTION...]" >&2; exit 2; }

ours() {  # the pid in the state folder, if it is still our server
    local pid
    pid="$(cat "$state/pid" 2>/dev/null || true)"
    [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "test_server.py" \
        && echo "$pid"
    return 0
}

stop() {
    local pid
    pid="$(ours)"
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
    rm -f "$state/pid" "$state/port"
}

case "$action" in
start)
    mkdir -p "$state/root"
    stop  # one left over by an interrupted run
    python3 "$here/test_server.py" --root "$state/root" --state-dir "$state" \
        --max-seconds "${PELMORA_TEST_SERVER_SECONDS:-1800}" "${@:3}" \
        </dev/null >"$state/server.log" 2>&1 &
    for _ in $(seq 1 100); do
        [ -s "$state/port" ] && { echo "test server on 127.0.0.1:$(cat "$state/port")"; exit 0; }
        kill -0 $! 2>/dev/null || break
        sleep 0.1
    done
    echo "test server did not start:" >&2
    cat "$state/server.log" >&2
    exit 1
    ;;
stop)
    stop
    ;;
*)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
