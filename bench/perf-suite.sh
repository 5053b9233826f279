#!/bin/sh
# Whole-program figures, each beside a baseline measured in the same run:
#   enumeration   linkvet-check --files -r over a tree of 100,000 files, against find
#   a run         linkvet-check over 1,000 links to a local nginx, against the 100 ms tick
#   memory        peak resident size of that run, of --links over one file of 100,000 links,
#                 and of the window holding 100,000 rows (window_bench)
#   start-up      linkvet-check --help, and the window until it is mapped under Xvfb
# usage: bench/perf-suite.sh [BUILD_DIR]   (root, or unprivileged user namespaces, for the run)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${1:-$top/build-bench}
check="$build/src/cli/linkvet-check"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LINKVET_HOME="$work/home"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLINKVET_BENCH=ON \
        -DBUILD_TESTING=OFF
fi
cmake --build "$build" --target linkvet-check linkvet window_bench >/dev/null

now() { date +%s%N; }
# Median of five wall-clock runs of a command, in milliseconds.
median_ms() {
    for _ in 1 2 3 4 5; do
        start=$(now); "$@" >/dev/null 2>&1 || true; end=$(now)
        echo $(( (end - start) / 1000000 ))
    done | sort -n | sed -n 3p
}
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

echo "== enumeration: a tree of 100,000 files"
python3 - "$work/tree" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(1000):
    folder = os.path.join(root, "d%03d" % (d // 50), "s%04d" % d)
    os.makedirs(folder, exist_ok=True)
    for f in range(100):
        open(os.path.join(folder, "page%03d.htm" % f), "w").close()
PY
find "$work/tree" -type f >/dev/null
ours=$(median_ms "$check" --files -r "$work/tree")
theirs=$(median_ms find "$work/tree" -type f)
echo "linkvet-check --files -r: $ours ms; find -type f: $theirs ms"

echo "== start-up"
echo "linkvet-check --help: $(median_ms "$check" --help) ms; /bin/true: $(median_ms /bin/true) ms"

echo "== memory: one file of 100,000 links"
python3 - "$work/many.htm" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    for i in range(100000):
        out.write('<A HREF="http://h%d.test/page%d.htm">link %d</A>\n' % (i % 40, i, i))
PY
echo "linkvet-check --links: peak $(peak_kib "$check" --links "$work/many.htm") KiB"

echo "== the window: 100,000 rows and start-up"
QT_QPA_PLATFORM=offscreen "$build/bench/window_bench" --benchmark_filter='Grid100000|StartUp' \
    2>&1 | grep -E '^BM_|Peak resident'

echo "== start-up of the window, as a whole process, until it is mapped under Xvfb"
display=:$(( 200 + $$ % 500 ))
Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb=$!
until DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1; do sleep 0.1; done
for _ in 1 2 3 4 5; do
    start=$(now)
    DISPLAY=$display "$build/src/app/linkvet" >/dev/null 2>&1 &
    app=$!
    # xdotool's own --sync waits half a second between looks; this looks every few ms, for
    # as long as the program lives.
    until DISPLAY=$display xdotool search --onlyvisible --name '^Linkvet$' >/dev/null 2>&1; do
        kill -0 $app 2>/dev/null || break
    done
    end=$(now)
    kill $app; wait $app 2>/dev/null || true
    echo $(( (end - start) / 1000000 ))
done | sort -n | sed -n 3p | sed 's/^/linkvet to a mapped window (median of 5): /; s/$/ ms/'
kill $xvfb

echo "== a run over 1,000 links to a local nginx (100 files of 10 links)"
"$here/run-in-netns.sh" "$check" "$work"
