#!/usr/bin/env python3
"""Sends a bounded burst of junk to a game's two UDP ports: random
datagrams, ENet packets that break ENet's rules, broken discovery queries
and a few good ones. The count and the time are bounded; only the given
address (the test's own loopback) is ever used."""
import argparse
import random
import socket
import struct
import time

parser = argparse.ArgumentParser()
parser.add_argument("--target", default="127.0.0.1")
parser.add_argument("--ports", default="24640,24641")
parser.add_argument("--count", type=int, default=10000)
parser.add_argument("--seconds", type=float, default=5.0)
parser.add_argument("--seed", type=int, default=7)
args = parser.parse_args()
assert args.count <= 100000 and args.seconds <= 60
random.seed(args.seed)
game_port, discovery_port = (int(p) for p in args.ports.split(","))


def junk():
    return bytes(random.getrandbits(8) for _ in range(random.randint(0, 1400)))


def bad_enet_connect():
    # A connect command from "no peer yet" with a channel count of 0, a
    # window or MTU out of range, or cut short.
    header = struct.pack(">HH", 0x8FFF, random.getrandbits(16))
    command = struct.pack(">BBH", 0x82, 0xFF, 1)
    body = struct.pack(">HBBIIIIIIIII", 0, 0, 0, random.choice([0, 1 << 30]), random.choice([0, 1 << 30]),
                       random.choice([0, 4096]), 0, 0, 0, 0, 0, 0)
    packet = header + command + body
    return packet[:random.randint(4, len(packet))]


def bad_query():
    good = b"MRVQ\x01" + bytes(100)
    return random.choice([good[:5], b"MRVQ\x02" + bytes(100), b"MRVR\x01" + bytes(100), good + b"x", junk()])


sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.setblocking(False)
start = time.monotonic()
sent = 0
for n in range(args.count):
    kind = n % 10
    if kind < 4:
        data, port = junk(), random.choice([game_port, discovery_port])
    elif kind < 7:
        data, port = bad_enet_connect(), game_port
    elif kind < 9:
        data, port = bad_query(), discovery_port
    else:
        data, port = b"MRVQ\x01" + bytes(100), discovery_port  # a good query: answered, not logged
    try:
        sock.sendto(data, (args.target, port))
        sent += 1
    except OSError:
        pass
    pause = start + args.seconds * (n + 1) / args.count - time.monotonic()
    if pause > 0:
        time.sleep(pause)
print("flood: %d datagrams to ports %d and %d in %.1f s" % (sent, game_port, discovery_port,
                                                          time.monotonic() - start), flush=True)
