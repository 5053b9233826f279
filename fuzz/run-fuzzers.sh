#!/bin/sh
# Runs each fuzzer for SECONDS on a scratch copy of its seed corpus, so fuzz/corpus is never
# written to. Exits non-zero when any fuzzer fails; crash inputs go to BUILD_DIR/fuzz-artifacts.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 SECONDS BUILD_DIR" >&2
    exit 2
fi
seconds=$1
build=$(cd "$2" && pwd) || exit 2
here=$(cd "$(dirname "$0")" && pwd)

# The key store fsyncs every value it writes and the repair walk every file it makes; on tmpfs
# that is free, so the INI and repair fuzzers spend their time in the code under test rather
# than waiting for the disk.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
scratch=$(mktemp -d) || exit 2
trap 'rm -rf "$scratch"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

status=0
for name in scanner html_scanner import_ini reply_line url_split report_writers repair; do
    exe="$build/fuzz/fuzz_$name"
    if [ ! -x "$exe" ]; then
        echo "fuzz_$name: not built ($exe missing)" >&2
        status=1
        continue
    fi
    mkdir "$scratch/$name"
    cp "$here/corpus/$name/"* "$scratch/$name/"
    log="$scratch/$name.log"
    "$exe" -max_total_time="$seconds" -artifact_prefix="$artifacts/$name-" \
        "$scratch/$name" >"$log" 2>&1
    rc=$?
    echo "== fuzz_$name (exit $rc)"
    grep -E '^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs' "$log"
    if [ "$rc" -ne 0 ]; then
        status=1
        # The report starts at the first broken property, sanitizer error or libFuzzer error.
        sed -n '/broken: \|runtime error: \|ERROR: /,$p' "$log" | head -n 60
        cp "$log" "$artifacts/$name.log"
        echo "fuzz_$name failed: log and crash input in $artifacts" >&2
    fi
done
exit "$status"
