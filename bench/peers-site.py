#!/usr/bin/env python3
"""The site, the scripted hosts and the reading of each checker's output for peers-bench.sh.

  peers-site.py site DIR [--pages N] [--moved]
                                       writes DIR/site (index.html, pNNN.html) and
                                       DIR/expected.txt, the broken links, one a line; with
                                       --moved a fifth of the URLs moved for good (1 to 3
                                       permanent redirects), listed in DIR/moved.txt
  peers-site.py serve                  answers as the hosts h1.test .. h14.test, each reply
                                       after 100 ms, until killed
  peers-site.py broken TOOL FILE       the broken links TOOL reported in FILE, sorted, one a
                                       line (TOOL: linkvet, linkchecker or linkinator)
  peers-site.py moved FILE             the moved links linkvet-check reported in FILE as
                                       "URL -> NEW ADDRESS", sorted, one a line
"""

import argparse
import asyncio
import csv
import json
import os
import random
import sys

LINKS_PER_PAGE = 20
DISTINCT_URLS = 400
# h1.test .. h14.test answer; h15.test resolves to an address nobody listens on; gone.test
# does not resolve at all: 16 host names in all.
SERVED_HOSTS = 14
REFUSED_HOST = "h15.test"
UNRESOLVED_HOST = "gone.test"
REPLY_DELAY = 0.1


def url_of(index, moved=False):
    """The index-th distinct URL: of every 100, four answer 404, three 500, three are
    refused, two do not resolve, the rest answer 200; with moved, twenty of the rest are
    /mvK/ links, K permanent redirects (1 to 3) away from a page that answers 200."""
    kind = index % 100
    host = f"h{index % SERVED_HOSTS + 1}.test"
    if moved and 12 <= kind < 32:
        return f"http://{host}/mv{index % 3 + 1}/page{index}.html", False
    if kind < 4:
        return f"http://{host}/nf/page{index}.html", True
    if kind < 7:
        return f"http://{host}/err/page{index}.html", True
    if kind < 10:
        return f"http://{REFUSED_HOST}/page{index}.html", True
    if kind < 12:
        return f"http://{UNRESOLVED_HOST}/page{index}.html", True
    return f"http://{host}/ok/page{index}.html", False


def moved_to(url):
    """Where a /mvK/ link ends: the /new/ page of the same host."""
    head, _, rest = url.partition("/mv")
    return f"{head}/new/{rest.split('/', 1)[1]}"


def write_site(directory, pages, moved=False):
    site = os.path.join(directory, "site")
    os.makedirs(site, exist_ok=True)
    occurrences = pages * LINKS_PER_PAGE
    distinct = min(DISTINCT_URLS, occurrences)
    # Every distinct URL occurs, most several times, in an order fixed by the seed.
    order = [i % distinct for i in range(occurrences)]
    random.Random(20261207).shuffle(order)
    used = set()
    names = []
    for page in range(pages):
        name = f"p{page:03d}.html"
        names.append(name)
        lines = [f"<html><head><title>Page {page}</title></head><body>"]
        for slot in range(LINKS_PER_PAGE):
            index = order[page * LINKS_PER_PAGE + slot]
            url, _ = url_of(index, moved)
            used.add(index)
            lines.append(f'<p><a href="{url}">link {index}</a></p>')
        lines.append("</body></html>")
        with open(os.path.join(site, name), "w") as out:
            out.write("\n".join(lines) + "\n")
    with open(os.path.join(site, "index.html"), "w") as out:
        out.write("<html><head><title>Index</title></head><body>\n")
        for name in names:
            out.write(f'<p><a href="{name}">{name}</a></p>\n')
        out.write("</body></html>\n")
    broken = sorted(url_of(i, moved)[0] for i in used if url_of(i, moved)[1])
    with open(os.path.join(directory, "expected.txt"), "w") as out:
        out.write("".join(url + "\n" for url in broken))
    moves = sorted(url_of(i, moved)[0] for i in used if "/mv" in url_of(i, moved)[0])
    with open(os.path.join(directory, "moved.txt"), "w") as out:
        out.write("".join(f"{url} -> {moved_to(url)}\n" for url in moves))
    print(f"{pages} pages, {occurrences} links, {len(used)} distinct URLs, "
          f"{len(broken)} of them broken")


STATUS_BY_PREFIX = {"/ok/": b"200 OK", "/new/": b"200 OK", "/nf/": b"404 Not Found",
                    "/err/": b"500 Internal Server Error"}


def redirect_of(path):
    """The status and Location of a /mvK/ path: 301 (308 for K = 2) to /mv(K-1)/, /mv1/ to
    /new/; None for any other path. A probe may add "/" to a path without a dot."""
    if not path.startswith("/mv") or len(path) < 5 or not path[3].isdigit():
        return None
    hops, rest = int(path[3]), path[5:]
    status = b"308 Permanent Redirect" if hops == 2 else b"301 Moved Permanently"
    return status, (f"/mv{hops - 1}/{rest}" if hops > 1 else f"/new/{rest}").encode()


async def answer(reader, writer):
    try:
        head = b""
        while b"\r\n\r\n" not in head and b"\n\n" not in head and len(head) < 65536:
            chunk = await reader.read(4096)
            if not chunk:
                break
            head += chunk
        parts = head.split(b" ", 2)
        method = parts[0] if parts else b""
        path = parts[1].decode("latin-1") if len(parts) > 1 else "/"
        status = b"404 Not Found"
        for prefix, code in STATUS_BY_PREFIX.items():
            if path.startswith(prefix):
                status = code
        redirect = redirect_of(path)
        location = b""
        if redirect:
            status, target = redirect
            location = b"Location: " + target + b"\r\n"
        await asyncio.sleep(REPLY_DELAY)
        body = b"<html><body>" + status + b"</body></html>\n"
        writer.write(b"HTTP/1.1 " + status + b"\r\n" + location + b"Content-Type: text/html\r\n"
                     b"Content-Length: " + str(len(body)).encode() + b"\r\n"
                     b"Connection: close\r\n\r\n" + (b"" if method == b"HEAD" else body))
        await writer.drain()
    except (ConnectionError, asyncio.IncompleteReadError):
        pass
    finally:
        writer.close()


async def serve():
    servers = []
    for host in range(1, SERVED_HOSTS + 1):
        servers.append(await asyncio.start_server(answer, f"127.0.0.{10 + host}", 80,
                                                  backlog=1024))
    print("serving", flush=True)
    await asyncio.gather(*(server.serve_forever() for server in servers))


MOVED = "Moved Permanently to "


def broken_linkvet(text):
    # Report rows are URL TAB reason TAB anchor name; "FILE:" lines head each file. A link that
    # moved for good answers in the end, so it is no broken link.
    return {line.split("\t", 1)[0] for line in text.splitlines()
            if "\t" in line and not line.split("\t")[1].startswith(MOVED)}


def moved_linkvet(text):
    rows = (line.split("\t") for line in text.splitlines() if "\t" in line)
    return {f"{row[0]} -> {row[1][len(MOVED):].split(' ')[0]}" for row in rows
            if row[1].startswith(MOVED)}


def broken_linkchecker(text):
    rows = csv.reader((line for line in text.splitlines() if line and line[0] != "#"),
                      delimiter=";")
    header = next(rows, [])
    if "urlname" not in header:
        return set()
    name, valid = header.index("urlname"), header.index("valid")
    return {row[name] for row in rows if len(row) > valid and row[valid] == "False"}


def broken_linkinator(text):
    start = text.find("{")
    links = json.loads(text[start:]).get("links", []) if start >= 0 else []
    return {link["url"] for link in links if link.get("state") == "BROKEN"}


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    site = commands.add_parser("site")
    site.add_argument("directory")
    site.add_argument("--pages", type=int, default=100)
    site.add_argument("--moved", action="store_true")
    commands.add_parser("serve")
    moved = commands.add_parser("moved")
    moved.add_argument("file")
    broken = commands.add_parser("broken")
    broken.add_argument("tool", choices=["linkvet", "linkchecker", "linkinator"])
    broken.add_argument("file")
    arguments = parser.parse_args()
    if arguments.command == "site":
        write_site(arguments.directory, arguments.pages, arguments.moved)
    elif arguments.command == "serve":
        asyncio.run(serve())
    elif arguments.command == "moved":
        with open(arguments.file, encoding="utf-8", errors="replace") as report:
            text = report.read()
        sys.stdout.write("".join(line + "\n" for line in sorted(moved_linkvet(text))))
    else:
        with open(arguments.file, encoding="utf-8", errors="replace") as report:
            text = report.read()
        readers = {"linkvet": broken_linkvet, "linkchecker": broken_linkchecker,
                   "linkinator": broken_linkinator}
        sys.stdout.write("".join(url + "\n" for url in sorted(readers[arguments.tool](text))))


if __name__ == "__main__":
    main()
