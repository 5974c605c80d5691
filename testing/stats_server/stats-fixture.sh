#!/usr/bin/env bash
# CTest fixture around the recording statistics server:
#   stats-fixture.sh start BUILD_DIR NAME PORT MODE [DELAY]   starts it, returns once it listens
#   stats-fixture.sh stop BUILD_DIR NAME                       stops exactly that server
# Its record is BUILD_DIR/stats-server-NAME.jsonl (emptied at start), its output beside it.
set -u
action=$1
build=$2
name=$3
base="$build/stats-server-$name"
here=$(cd "$(dirname "$0")" && pwd)

is_our_server() {
    [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q "stats_server.py"
}

case "$action" in
start)
    port=$4
    mode=$5
    delay=${6:-2}
    if [ -f "$base.pid" ] && read -r old <"$base.pid" && is_our_server "$old"; then
        kill "$old" 2>/dev/null
    fi
    rm -f "$base.jsonl" "$base.ready" "$base.pid"
    # Its own session and no handle on ctest's pipe; it stops by itself after 15 minutes at most.
    setsid python3 "$here/stats_server.py" "$port" "$base.jsonl" --mode "$mode" --delay "$delay" \
        --lifetime 900 --ready "$base.ready" >"$base.log" 2>&1 </dev/null &
    echo $! >"$base.pid"
    for _ in $(seq 100); do
        if [ -s "$base.ready" ]; then
            echo "statistics server $name ($mode) $(cat "$base.ready") on 127.0.0.1, record $base.jsonl"
            exit 0
        fi
        kill -0 "$(cat "$base.pid")" 2>/dev/null || break
        sleep 0.2
    done
    echo "statistics server $name did not start:" >&2
    cat "$base.log" >&2
    exit 1
    ;;
stop)
    if [ -f "$base.pid" ] && read -r pid <"$base.pid" && is_our_server "$pid"; then
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$base.pid" "$base.ready"
    echo "statistics server $name stopped"
    ;;
*)
    echo "usage: $0 start BUILD_DIR NAME PORT MODE [DELAY] | stop BUILD_DIR NAME" >&2
    exit 2
    ;;
esac
