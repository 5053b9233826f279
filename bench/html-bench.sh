#!/bin/sh
# HTML scanning of the pages of Debian's python3.11-doc against classic scanning and reading
# the same bytes, and the hrefs found against those Python's html.parser sees.
# usage: html-bench.sh [BUILD_DIR [RUNS]]   (default build-bench, best of 3 runs)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source=$(dirname "$here")
build=${1:-$source/build-bench}
runs=${2:-3}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLINKVET_BENCH=ON \
        -DBUILD_TESTING=OFF
fi
cmake --build "$build" --target html_scan_bench linkvet-check

work=$(mktemp -d "${TMPDIR:-/tmp}/linkvet-html-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download python3.11-doc >/dev/null)
dpkg -x "$work"/python3.11-doc_*.deb "$work/root"
tree="$work/root/usr/share/doc/python3.11/html"
export LINKVET_HOME="$work/home"
check="$build/src/cli/linkvet-check"
bench="$build/bench/html_scan_bench"

"$check" --files -r -H "$tree" >"$work/files"
bytes=$(tr '\n' '\0' <"$work/files" | xargs -0 cat | wc -c)
echo "python3.11-doc: $(wc -l <"$work/files") pages, $bytes bytes, on $(nproc) cores"
# Warm the page cache.
"$bench" read <"$work/files" >/dev/null

# The best of the runs of one command, in seconds.
best() {
    fastest=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        fastest=$(echo "$start $end ${fastest:-inf}" |
            awk '{ t = $2 - $1; if ($3 == "inf" || t < $3) print t; else print $3 }')
        i=$((i + 1))
    done
    echo "$fastest"
}

echo
echo "In-process (html_scan_bench), best of $runs:"
for mode in read classic html1 html site; do
    line=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        out=$("$bench" "$mode" <"$work/files" | head -n 1)
        rate=$(echo "$out" | awk '{ print $(NF-1) }')
        if [ -z "$line" ] || [ "$(echo "$rate $best_rate" | awk '{ print ($1 > $2) }')" = 1 ]; then
            line=$out
            best_rate=$rate
        fi
        i=$((i + 1))
    done
    echo "  $line"
    if [ "$mode" = html1 ]; then
        one_thread=$best_rate
    fi
done

# MB/s of a command that took the seconds given, and its ratio to the parser on one thread:
# this machine's speed drifts by a third within an hour, and the ratio drifts much less.
rate() {
    echo "$bytes $1 $one_thread" |
        awk '{ r = $1 / 1e6 / $2; printf "%.1f MB/s, %.2f times one thread", r, r / $3 }'
}

echo
echo "linkvet-check --links -r -H, best of $runs:"
for scan in classic html; do
    seconds=$(best "$check" --links --scan "$scan" -r -H "$tree")
    echo "  --scan $scan: $seconds s, $(rate "$seconds")"
done

# A whole run over the tree, in a private network namespace where every remote link fails at
# once, so that the figure is the scanning and the local checks.
# Its exit status is 1: the tree has broken links.
run_tree() {
    "$source/tests/e2e/in-netns.sh" "$check" --scan html -r -H -j 64 -q -o "$work/report" \
        "$tree" || [ $? -eq 1 ]
}
seconds=$(best run_tree)
echo "  run, --scan html -j 64, no network: $seconds s, $(rate "$seconds")"

echo
echo "Links found:"
echo "  linkvet-check --links (classic): $("$check" --links -r -H "$tree" | wc -l)"
echo "  linkvet-check --links --scan html (https off): $("$check" --links --scan html -r -H "$tree" | wc -l)"
echo "  HTML scanner, https on: $("$bench" html <"$work/files" | tail -n 1)"
python3 - "$work/files" <<'PY'
import re, sys
from html.parser import HTMLParser

scheme = re.compile(r"^([A-Za-z][A-Za-z0-9+.-]*):")

class Hrefs(HTMLParser):
    def __init__(self, counts):
        super().__init__(convert_charrefs=True)
        self.counts = counts
    def handle_starttag(self, tag, attrs):
        if tag not in ("a", "area"):
            return
        for name, value in attrs:
            if name != "href" or value is None:
                continue
            href = "".join(c for c in value.strip(" \t\n\r\f\0") if c not in "\t\n\r")
            m = scheme.match(href)
            kind = "skipped"
            if m:
                s = m.group(1).lower()
                if s in ("http", "https", "ftp") and href[len(s):len(s) + 3] == "://":
                    kind = s
            elif not href.startswith("//"):
                kind = "local"
            self.counts[kind] += 1
            break

counts = dict.fromkeys(("http", "https", "ftp", "local", "skipped"), 0)
for path in open(sys.argv[1]).read().splitlines():
    parser = Hrefs(counts)
    parser.feed(open(path, encoding="utf-8", errors="replace").read())
    parser.close()
print("  Python html.parser, a/area hrefs: links: " +
      " ".join(f"{k} {v}" for k, v in counts.items()))
PY
