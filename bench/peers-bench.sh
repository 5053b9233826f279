#!/bin/sh
# linkvet-check beside two widely used link checkers, on one generated site served by scripted
# hosts that answer after 100 ms, all in one private network namespace: prints each tool's
# wall time, peak resident size and whether it found the same broken links.
# usage: peers-bench.sh [--pages N] [--moved] [--check PATH_TO_LINKVET_CHECK] [--keep]
#   --pages N  pages of 20 links each (default 100: 2,000 links, 400 distinct URLs)
#   --moved    a fifth of the URLs moved for good, 1 to 3 permanent redirects away; every
#              tool then follows redirects (linkvet-check with --redirects follow)
#   --keep     leave the work folder (site, reports, timings) in place
# The peers are installed when missing: LinkChecker from Debian, linkinator from npm. They are
# benchmark peers only; nothing of theirs goes into Linkvet.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source=$(dirname "$here")
pages=100
check=$source/build/src/cli/linkvet-check
keep=
moved=
while [ $# -gt 0 ]; do
    case $1 in
        --pages) pages=$2; shift 2 ;;
        --moved) moved=--moved; shift ;;
        --check) check=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "usage: $0 [--pages N] [--moved] [--check PATH] [--keep]" >&2; exit 2 ;;
    esac
done
[ -x "$check" ] || { echo "no linkvet-check at $check (build first, or pass --check)" >&2; exit 2; }
check=$(cd "$(dirname "$check")" && pwd)/$(basename "$check")

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! command -v linkchecker > /dev/null || [ ! -x /usr/bin/time ]; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq linkchecker time
fi
if ! command -v linkinator > /dev/null; then
    command -v npm > /dev/null ||
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq nodejs npm
    $sudo npm install -g linkinator
fi

work=$(mktemp -d)
if [ -n "$keep" ]; then
    echo "work folder: $work"
else
    trap 'rm -rf "$work"' EXIT
fi
# LinkChecker run as root drops to nobody, who must read the site and write nothing there.
chmod 755 "$work"
python3 "$here/peers-site.py" site "$work" --pages "$pages" $moved

"$source/tests/e2e/in-netns.sh" sh "$here/peers-run.sh" "$here" "$work" "$check" $moved
