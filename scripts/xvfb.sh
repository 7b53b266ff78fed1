# Sourced by test.sh and run.sh: virtual displays on free display numbers.
# start_xvfb DEPTH VAR starts an Xvfb at DEPTH bits on a display it picks itself and
# exports VAR=":N"; stop_xvfbs stops only the servers started here.
xvfb_pids=()
xvfb_logs=()

start_xvfb() { # depth variable
    local depth=$1 var=$2 number_file log pid
    number_file=$(mktemp)
    log=$(mktemp)
    # Its own session, so that Ctrl+C reaches the program and not the display under it.
    setsid Xvfb -displayfd 3 -screen 0 "1024x768x$depth" +extension GLX -nolisten tcp -noreset \
        3>"$number_file" >"$log" 2>&1 &
    pid=$!
    xvfb_pids+=("$pid")
    xvfb_logs+=("$log")
    for _ in $(seq 100); do
        [ -s "$number_file" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$number_file" ]; then
        echo "Xvfb at depth $depth did not start:" >&2
        cat "$log" >&2
        rm -f "$number_file"
        return 1
    fi
    export "$var=:$(head -n 1 "$number_file")"
    rm -f "$number_file"
}

stop_xvfbs() {
    local p
    for p in "${xvfb_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${xvfb_pids[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -f "${xvfb_logs[@]}"
    xvfb_pids=()
    xvfb_logs=()
}
