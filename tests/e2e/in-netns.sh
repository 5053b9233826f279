#!/bin/sh
# Runs a program inside a private network namespace: only loopback, up; a hosts file that
# names the test hosts h1.test .. h40.test at 127.0.0.11 .. 127.0.0.50; and a name server at
# 127.0.0.53 on loopback, there only when a test starts one. Test traffic can reach nothing else.
set -eu
userns=
if [ "$(id -u)" -ne 0 ]; then
    userns="--user --map-root-user"
fi
# shellcheck disable=SC2086
exec unshare $userns --net --mount sh -c '
    set -eu
    ip link set lo up
    hosts=$(mktemp)
    {
        echo "127.0.0.1 localhost"
        i=1
        while [ $i -le 40 ]; do
            echo "127.0.0.$((10 + i)) h$i.test"
            i=$((i + 1))
        done
    } > "$hosts"
    resolv=$(mktemp)
    echo "nameserver 127.0.0.53" > "$resolv"
    mount --bind "$hosts" /etc/hosts
    mount --bind "$resolv" /etc/resolv.conf
    rm -f "$hosts" "$resolv"
    exec "$@"
' in-netns "$@"
