#!/usr/bin/env bash
# tools/setup.sh against a package manager that misbehaves, with no network: apt-get, dpkg,
# dpkg-query and id are stand-ins on PATH that keep what they were asked in a state folder, fail
# `apt-get update` as told (once, or for good on one index) and refuse the install of named
# packages. The set-up must retry, go on with the lists it has, name the index that failed, name
# what it could not install with apt's reason, and exit as its header says.
# Usage: setup_script.sh SOURCE-ROOT
set -u
root=${1:?usage: setup_script.sh SOURCE-ROOT}
. "$(dirname "$0")/harness.sh"

fakes=$workdir/bin
state=$workdir/state
mkdir -p "$fakes"

cat >"$fakes/apt-get" <<'EOF'
#!/usr/bin/env bash
# Stand-in for apt-get: update fails while $state/update-failures counts down (or for good when it
# holds "always"), naming one index; install refuses any package listed in $state/refused.
echo "$*" >>"$FAKE_STATE/calls"
case "$1" in
    update)
        left=$(cat "$FAKE_STATE/update-failures" 2>/dev/null || echo 0)
        echo "Hit:1 http://archive.invalid/debian bookworm InRelease"
        if [ "$left" = always ] || [ "$left" -gt 0 ]; then
            [ "$left" = always ] || echo $((left - 1)) >"$FAKE_STATE/update-failures"
            echo "Err:3 http://archive.invalid/debian-security bookworm-security/main i386 Packages"
            echo "  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
            echo "E: Failed to fetch http://archive.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
            echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
            exit 100
        fi
        exit 0 ;;
    install)
        shift
        simulate=false
        wanted=()
        for a in "$@"; do
            case "$a" in
                -s) simulate=true ;;
                -*) ;;
                *) wanted+=("$a") ;;
            esac
        done
        for p in "${wanted[@]}"; do
            if grep -qxF "$p" "$FAKE_STATE/refused" 2>/dev/null; then
                echo " $p : Depends: libwine:i386 but it is not going to be installed"
                echo "E: Unable to correct problems, you have held broken packages."
                exit 100
            fi
        done
        $simulate || printf '%s\n' "${wanted[@]}" >>"$FAKE_STATE/installed"
        exit 0 ;;
esac
exit 0
EOF
cat >"$fakes/dpkg-query" <<'EOF'
#!/usr/bin/env bash
# Stand-in for dpkg-query -W: a package is installed when $state/installed lists it; with no
# package named, the architectures of what is installed.
last=${!#}
case "$last" in
    -f=*) sed -n 's/.*:\(i386\)$/\1/p' "$FAKE_STATE/installed" 2>/dev/null; echo amd64 ;;
    *) grep -qxF "$last" "$FAKE_STATE/installed" 2>/dev/null && printf 'install ok installed' || exit 1 ;;
esac
EOF
cat >"$fakes/dpkg" <<'EOF'
#!/usr/bin/env bash
# Stand-in for dpkg's architecture options, over $state/architectures.
echo "dpkg $*" >>"$FAKE_STATE/calls"
case "$1" in
    --print-foreign-architectures) cat "$FAKE_STATE/architectures" 2>/dev/null ;;
    --add-architecture) echo "$2" >>"$FAKE_STATE/architectures" ;;
    --remove-architecture) sed -i "/^$2\$/d" "$FAKE_STATE/architectures" ;;
esac
EOF
printf '#!/bin/sh\necho 0\n' >"$fakes/id"
chmod +x "$fakes"/*

# Runs the set-up with the stand-ins in a fresh state: $1 is how many updates fail ("always"
# for all), $2 the packages apt refuses (space-separated), the rest the set-up's options.
# Leaves its exit status in rc, standard output in out, standard error in err.
run_setup() {
    rm -rf "$state" && mkdir -p "$state"
    echo "$1" >"$state/update-failures"
    printf '%s\n' $2 >"$state/refused"
    shift 2
    PATH="$fakes:$PATH" FAKE_STATE=$state KELVO_SETUP_RETRY_SECONDS=0 \
        bash "$root/tools/setup.sh" "$@" >"$workdir/out" 2>"$workdir/err"
    rc=$?
    out=$(cat "$workdir/out") err=$(cat "$workdir/err")
}
updates() { grep -c '^update' "$state/calls" 2>/dev/null; }
installed() { grep -qxF "$1" "$state/installed" 2>/dev/null; }

# An update that fails once is tried again, and nothing is said of it.
run_setup 1 "" --test
[ "$rc" = 0 ] || fail "one failed update: exit $rc ($err)"
[ "$(updates)" = 2 ] || fail "one failed update: $(updates) updates, expected 2"
[ -z "$err" ] || fail "one failed update: said '$err'"
installed libgtest-dev || fail "one failed update: the test packages were not installed"

# An index that stays broken: three tries, then the install goes on with one line naming it.
run_setup always "" --test
[ "$rc" = 0 ] || fail "broken index: exit $rc ($err)"
[ "$(updates)" = 3 ] || fail "broken index: $(updates) updates, expected 3"
[ "$(echo "$err" | wc -l)" = 1 ] || fail "broken index: expected one line, got '$err'"
echo "$err" | grep -qF "bookworm-security/main i386 Packages (File has unexpected size (374820 != 376004). Mirror sync in progress?)" ||
    fail "broken index: the line does not name the index and its reason: '$err'"
echo "$err" | grep -q "IP:\|archive.invalid" && fail "broken index: the line carries the mirror's address: '$err'"
installed xvfb || fail "broken index: the install did not go on"

# The test set-up installs what the tests use: no mingw-w64, no Wine, no i386 architecture.
grep -q 'mingw\|wine\|:i386' "$state/installed" 2>/dev/null && fail "--test installed the Windows tools: $(grep 'mingw\|wine\|:i386' "$state/installed" | tr '\n' ' ')"
[ -s "$state/architectures" ] && fail "--test added an architecture: $(cat "$state/architectures")"

# A refused install: exit 3 and one line naming the refused package alone and apt's reason; the
# i386 architecture added for it is taken away again.
run_setup always "wine32:i386" --wine32
[ "$rc" = 3 ] || fail "refused install: exit $rc, expected 3"
line=$(echo "$err" | grep '^setup: could not install')
[ "$line" = "setup: could not install wine32:i386: Unable to correct problems, you have held broken packages." ] ||
    fail "refused install: '$line'"
[ -s "$state/architectures" ] && fail "refused install: the i386 architecture was left added"
grep -q '^dpkg --add-architecture i386' "$state/calls" || fail "refused install: i386 was never added"

# The 64-bit Wine set-up is amd64 alone: no i386 package, no architecture added.
run_setup 0 "" --wine
[ "$rc" = 0 ] || fail "--wine: exit $rc ($err)"
installed wine64 || fail "--wine: wine64 was not installed"
grep -q ':i386' "$state/installed" 2>/dev/null && fail "--wine installed i386 packages: $(grep ':i386' "$state/installed" | tr '\n' ' ')"
[ -s "$state/architectures" ] && fail "--wine added an architecture: $(cat "$state/architectures")"

# Everything already there: apt is not asked anything.
run_setup 0 "" --windows
rm -f "$state/calls"
PATH="$fakes:$PATH" FAKE_STATE=$state bash "$root/tools/setup.sh" --windows >/dev/null 2>&1
rc=$?
[ "$rc" = 0 ] || fail "nothing missing: exit $rc"
[ -s "$state/calls" ] && fail "nothing missing: apt was called: $(tr '\n' ' ' <"$state/calls")"

# A wrong option: the usage and exit 2, before anything is installed.
run_setup 0 "" --tests
[ "$rc" = 2 ] || fail "wrong option: exit $rc, expected 2"
[ -s "$state/calls" ] && fail "wrong option: apt was called"

finish
