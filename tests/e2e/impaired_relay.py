#!/usr/bin/env python3
"""A UDP relay with a bad link in the middle, for tests of network play.

It listens on a local address for a game's datagrams (both of its ports)
and passes them to a host and back, losing, delaying, duplicating and so
reordering some of them on the way, in both directions. It stops by itself
after --seconds. Only addresses the test made are ever used.
"""
import argparse
import heapq
import random
import select
import signal
import socket
import sys
import time

parser = argparse.ArgumentParser()
parser.add_argument("--listen", required=True)
parser.add_argument("--host", required=True)
parser.add_argument("--ports", default="24640,24641")
parser.add_argument("--loss", type=float, default=0.05)
parser.add_argument("--delay", type=float, default=0.04)
parser.add_argument("--jitter", type=float, default=0.03)
parser.add_argument("--duplicate", type=float, default=0.02)
parser.add_argument("--seconds", type=float, default=300)
parser.add_argument("--seed", type=int, default=1)
args = parser.parse_args()
random.seed(args.seed)

# One listening socket per port; each local peer (a program, or one of
# several players in one program) gets upstream sockets of its own, so the
# host sees as many peers as there are players behind the relay.
listeners = {}  # listening socket -> port
for port in (int(p) for p in args.ports.split(",")):
    local = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    local.bind((args.listen, port))
    listeners[local] = port
upstreams = {}  # (local peer address, port) -> upstream socket
peers = {}  # upstream socket -> (listening socket, local peer address, port)


def upstream_for(local, source, port):
    key = (source, port)
    if key not in upstreams:
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind(("0.0.0.0", 0))
        upstreams[key] = sock
        peers[sock] = (local, source, port)
    return upstreams[key]


queue = []  # (due time, order, socket, address, bytes)
order = 0
counts = {"passed": 0, "lost": 0, "duplicated": 0}


def schedule(sock, address, data):
    global order
    if random.random() < args.loss:
        counts["lost"] += 1
        return
    copies = 2 if random.random() < args.duplicate else 1
    counts["duplicated"] += copies - 1
    for _ in range(copies):
        due = time.monotonic() + max(0.0, args.delay + random.uniform(-args.jitter, args.jitter))
        order += 1
        heapq.heappush(queue, (due, order, sock, address, data))


signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
end = time.monotonic() + args.seconds
try:
    while time.monotonic() < end:
        wait = min(0.05, max(0.0, queue[0][0] - time.monotonic())) if queue else 0.05
        ready, _, _ = select.select(list(listeners) + list(peers), [], [], wait)
        for sock in ready:
            try:
                data, source = sock.recvfrom(65536)
            except OSError:
                continue
            if sock in listeners:
                port = listeners[sock]
                schedule(upstream_for(sock, source, port), (args.host, port), data)
            else:
                local, peer, _ = peers[sock]
                schedule(local, peer, data)
        now = time.monotonic()
        while queue and queue[0][0] <= now:
            _, _, sock, address, data = heapq.heappop(queue)
            try:
                sock.sendto(data, address)
                counts["passed"] += 1
            except OSError:
                pass  # the link is cut
finally:
    print("relay %s: %d passed, %d lost, %d duplicated, %d peers"
          % (args.listen, counts["passed"], counts["lost"], counts["duplicated"], len(upstreams)),
          flush=True)
