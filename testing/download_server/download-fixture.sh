#!/usr/bin/env bash
# CTest fixture around the throttled download server:
#   download-fixture.sh start BUILD_DIR NAME PORT SIZE_MIB RATE_KIB   starts it, returns once it listens
#   download-fixture.sh stop BUILD_DIR NAME                            stops exactly that server
# It writes the payload it serves at /ok/ to BUILD_DIR/download-server-NAME.payload (for the
# tests to compare with), its output beside it.
set -u
action=$1
build=$2
name=$3
base="$build/download-server-$name"
here=$(cd "$(dirname "$0")" && pwd)

is_our_server() {
    [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q "download_server.py"
}

case "$action" in
start)
    port=$4
    size=$5
    rate=$6
    if [ -f "$base.pid" ] && read -r old <"$base.pid" && is_our_server "$old"; then
        kill "$old" 2>/dev/null
    fi
    rm -f "$base.payload" "$base.ready" "$base.pid"
    # Its own session and no handle on ctest's pipe; it stops by itself after 15 minutes at most.
    setsid python3 "$here/download_server.py" "$port" "$size" "$rate" --lifetime 900 \
        --ready "$base.ready" --write-payload "$base.payload" >"$base.log" 2>&1 </dev/null &
    echo $! >"$base.pid"
    for _ in $(seq 100); do
        if [ -s "$base.ready" ]; then
            echo "download server $name $(cat "$base.ready") on 127.0.0.1 ($size MiB at $rate KiB/s)"
            exit 0
        fi
        kill -0 "$(cat "$base.pid")" 2>/dev/null || break
        sleep 0.2
    done
    echo "download server $name did not start:" >&2
    cat "$base.log" >&2
    exit 1
    ;;
stop)
    if [ -f "$base.pid" ] && read -r pid <"$base.pid" && is_our_server "$pid"; then
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$base.pid" "$base.ready"
    echo "download server $name stopped"
    ;;
*)
    echo "usage: $0 start BUILD_DIR NAME PORT SIZE_MIB RATE_KIB | stop BUILD_DIR NAME" >&2
    exit 2
    ;;
esac
