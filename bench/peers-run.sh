#!/bin/sh
# Part of peers-bench.sh, run inside the private network namespace: starts the scripted hosts,
# then each checker in turn, and prints a line for each.
# usage: peers-run.sh BENCH_DIR WORK_DIR LINKVET_CHECK [--moved]
set -eu
here=$1
work=$2
check=$3
moved=${4:-}
site=$work/site

# LinkChecker, run as root, drops to nobody, who must be able to read the hosts file too.
cp /etc/hosts "$work/hosts"
chmod 644 "$work/hosts"
umount /etc/hosts
mount --bind "$work/hosts" /etc/hosts

python3 "$here/peers-site.py" serve > "$work/hosts.log" 2>&1 &
hosts=$!
trap 'kill $hosts' EXIT
tries=0
until grep -q serving "$work/hosts.log"; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { cat "$work/hosts.log" >&2; exit 1; }
    sleep 0.1
done

# Runs one checker under /usr/bin/time -v; its report goes to WORK_DIR/NAME.out.
measure() {
    name=$1
    reader=$2
    shift 2
    status=0
    /usr/bin/time -v -o "$work/$name.time" "$@" > "$work/$name.out" 2> "$work/$name.err" ||
        status=$?
    python3 "$here/peers-site.py" broken "$reader" "$work/$name.out" > "$work/$name.broken"
    wall=$(sed -n 's/^.*Elapsed (wall clock) time.*: //p' "$work/$name.time")
    kib=$(sed -n 's/^.*Maximum resident set size (kbytes): //p' "$work/$name.time")
    found=$(wc -l < "$work/$name.broken")
    if cmp -s "$work/$name.broken" "$work/expected.txt"; then
        same=yes
    else
        same="NO: diff $work/$name.broken $work/expected.txt (exit status $status)"
    fi
    printf '%-24s %12s %9s MiB %7s   %s\n' "$name" "$wall" "$((kib / 1024))" "$found" "$same"
}

printf '%-24s %12s %13s %7s   %s\n' tool "wall time" "peak RSS" broken "same as expected"
printf '%-24s %12s %13s %7s\n' expected "" "" "$(wc -l < "$work/expected.txt")"
if [ -n "$moved" ]; then
    # Every tool follows the redirects; linkvet-check also names where each moved link went.
    measure "linkvet-check -j 64 --redirects follow" linkvet \
        "$check" -q -a -t 5 --jobs 64 --redirects follow "$site"
    python3 "$here/peers-site.py" moved "$work/linkvet-check -j 64 --redirects follow.out" \
        > "$work/moved.found"
    if cmp -s "$work/moved.found" "$work/moved.txt"; then
        echo "moved links: $(wc -l < "$work/moved.txt"), each reported with its new address"
    else
        echo "moved links: NOT as expected: diff '$work/moved.found' $work/moved.txt"
    fi
elif "$check" --help | grep -q -- --jobs; then
    measure "linkvet-check --jobs 1" linkvet "$check" -q -a -t 5 --jobs 1 "$site"
    measure "linkvet-check --jobs 64" linkvet "$check" -q -a -t 5 --jobs 64 "$site"
else
    echo "(this linkvet-check has no --jobs: it runs once, one link at a time)"
    measure "linkvet-check" linkvet "$check" -q -a -t 5 "$site"
fi
measure "LinkChecker" linkchecker linkchecker --check-extern --timeout 5 --no-status -o csv \
    "$site/index.html"
measure "linkinator" linkinator linkinator "$site" --recurse --timeout 5000 --format json
