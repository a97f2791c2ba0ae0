# Shell helpers for the tests that drive the demo under Xvfb; sourced, not run.

# Prints the id of the mapped top-level window with exactly this title, waiting up to 60 s;
# fails when none appears.
wait_window() {
    for _ in $(seq 600); do
        for id in $(xwininfo -root -children 2>/dev/null | grep -F "\"$1\": (" | awk '{ print $1 }'); do
            if xwininfo -id "$id" 2>/dev/null | grep -q IsViewable; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}
