# The frame that the shell tests share; sourced, not run. It gives the test a folder of its own
# ($workdir), counts failures, and at exit ends what the test started and removes the folder.
# What the test started is named in three variables, ended in this order:
#   demo_pid   the program under test (its whole process group when demo_group=1)
#   pulse_pid  a sound server
#   x_pid      an X server (see x11/windows.sh)
# A test empties a pid once it has waited for that process, since the number may then belong to
# another one. A test with more to end defines extra_cleanup, which runs first; one that can
# show what it saw when a step fails defines show_state.

# Exits 1 naming the first tool that is missing.
need_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "missing $tool (run tools/setup.sh --test)"; exit 1; }
    done
}

workdir=$(mktemp -d)
demo_pid="" demo_group=0 pulse_pid="" x_pid=""
harness_cleanup() {
    declare -F extra_cleanup >/dev/null && extra_cleanup
    if [ -n "$demo_pid" ]; then
        if [ "$demo_group" = 1 ]; then kill -KILL -- "-$demo_pid" 2>/dev/null; else kill "$demo_pid" 2>/dev/null; fi
    fi
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null
    [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$workdir"
}
trap harness_cleanup EXIT
# A test ended by a signal (a time limit, Ctrl+C) still ends what it started.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# A step the rest depends on failed: show what the test saw and stop.
die() {
    echo "FAIL: $*"
    declare -F show_state >/dev/null && show_state
    exit 1
}
# Ends the test: exit 1 with the count of failures and what the test saw, or "all passed".
finish() {
    if [ "$failures" -ne 0 ]; then
        declare -F show_state >/dev/null && show_state
        echo "$failures failed"
        exit 1
    fi
    echo "all passed"
}

# Waits up to $1 seconds for the command in the other arguments to succeed.
wait_for() {
    local bound=$1
    shift
    local end=$((SECONDS + bound))
    until "$@"; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.1
    done
}

# The program under test has ended.
exited() { ! kill -0 "$demo_pid" 2>/dev/null; }
# Waits for the program to end by itself (up to $2 seconds, 60 unless given) and checks that its
# exit code is $1; one that does not end is killed and counted as a failure.
wait_exit() {
    wait_for "${2:-60}" exited || { fail "the demo did not exit"; kill "$demo_pid"; }
    wait "$demo_pid"
    local rc=$?
    demo_pid=""
    [ "$rc" = "$1" ] || fail "exit code $rc, expected $1"
}
