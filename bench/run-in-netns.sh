#!/bin/sh
# Part of perf-suite.sh: inside the private test namespace, nginx on h21.test serves a site,
# and linkvet-check tests 1,000 links to it. Prints links per second, the time per link
# beyond the 100 ms run tick, and the run's peak resident size.
set -eu
check=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../tests/e2e/in-netns.sh" sh -c '
    set -eu
    check=$1; work=$2
    mkdir -p "$work/nginx/www" "$work/site"
    echo home > "$work/nginx/www/index.html"
    cat > "$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; error_log $work/nginx/error.log; pid $work/nginx/nginx.pid;
events {}
http { access_log off; client_body_temp_path $work/nginx/b; proxy_temp_path $work/nginx/p;
  fastcgi_temp_path $work/nginx/f; uwsgi_temp_path $work/nginx/u; scgi_temp_path $work/nginx/s;
  server { listen 127.0.0.31:80; root $work/nginx/www; } }
CONF
    /usr/sbin/nginx -p "$work/nginx" -e "$work/nginx/error.log" -c "$work/nginx/nginx.conf" &
    nginx=$!
    trap "kill $nginx" EXIT
    i=0
    while [ $i -lt 100 ]; do
        j=0
        while [ $j -lt 10 ]; do
            if [ $((j % 2)) -eq 0 ]; then page=index.html; else page=missing$j.htm; fi
            echo "<A HREF=\"http://h21.test/$page\">link $j</A>" >> "$work/site/f$i.htm"
            j=$((j + 1))
        done
        i=$((i + 1))
    done
    sleep 0.5
    start=$(date +%s%N)
    peak=$(/usr/bin/time -f %M "$check" -q -a "$work/site" 2>&1 >/dev/null | tail -n 1)
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    echo "1,000 links in $ms ms: $(( 1000000 / ms )).$(( (10000000 / ms) % 10 )) links/s;" \
         "$(( ms - 100000 )) ms beyond 1,000 ticks of 100 ms, $(( ms - 100000 )) us a link;" \
         "peak $peak KiB"
' netns-bench "$check" "$work"
