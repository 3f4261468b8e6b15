#!/usr/bin/env python3
"""A TCP proxy that adds round-trip time, for measuring Pelmora as a user far
from its server would see it. Standard library only.

    latency_proxy.py --target-port P [--target-host 127.0.0.1] --rtt-ms N
                     [--port 0] [--state-dir DIR] [--max-seconds 1800]

Every piece of data is held RTT/2 on its way in each direction, and a new
connection's first byte one RTT more (the handshake a real network would
cost). Once listening, the proxy writes STATE_DIR/port and STATE_DIR/pid;
a number of milliseconds written to STATE_DIR/rtt_ms later replaces
--rtt-ms for the connections that follow.
STATE_DIR/counts holds "connections N requests M" (requests: lines that
start with an HTTP method at the start of a piece from the client, which is
exact for clients that send one request per piece, as WinINet does).
SIGUSR1 sets both counters to zero; SIGTERM and SIGINT stop the proxy.
"""
import argparse
import asyncio
import os
import re
import signal
from pathlib import Path

METHOD = re.compile(rb"^(GET|HEAD|POST|PUT|DELETE|OPTIONS|PATCH|CONNECT) ", re.M)


class Counts:
    def __init__(self, path):
        self.path = path
        self.connections = 0
        self.requests = 0

    def reset(self):
        self.connections = self.requests = 0
        self.save()

    def save(self):
        if self.path:
            temp = self.path.with_suffix(".tmp")
            temp.write_text(f"connections {self.connections} requests {self.requests}\n")
            os.replace(temp, self.path)


async def pipe(reader, writer, delay, first_delay, on_piece=None):
    """Copies pieces in order, each sent `delay` after it arrived (the first
    `first_delay` after); pieces are not held back behind one another."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def sender():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    task = asyncio.ensure_future(sender())
    hold = first_delay
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            if on_piece:
                on_piece(data)
            queue.put_nowait((loop.time() + hold, data))
            hold = delay
    except (ConnectionError, OSError):
        pass
    queue.put_nowait((loop.time() + delay, None))
    try:
        await task
    except (ConnectionError, OSError):
        pass


def current_rtt_ms(args):
    if args.state_dir:
        try:
            return float((Path(args.state_dir) / "rtt_ms").read_text())
        except (OSError, ValueError):
            pass
    return args.rtt_ms


async def handle(client_reader, client_writer, args, counts):
    half = current_rtt_ms(args) / 2000.0
    counts.connections += 1
    counts.save()

    def seen(data):
        counts.requests += len(METHOD.findall(data))
        counts.save()

    try:
        server_reader, server_writer = await asyncio.open_connection(args.target_host,
                                                                     args.target_port)
    except OSError:
        client_writer.close()
        return
    # The handshake's round trip falls on the first request's way out.
    await asyncio.gather(pipe(client_reader, server_writer, half, half + 2 * half, seen),
                         pipe(server_reader, client_writer, half, half))
    for w in (server_writer, client_writer):
        w.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target-host", default="127.0.0.1")
    parser.add_argument("--target-port", type=int, required=True)
    parser.add_argument("--rtt-ms", type=float, required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--state-dir")
    parser.add_argument("--max-seconds", type=float, default=1800)
    args = parser.parse_args()
    state = Path(args.state_dir) if args.state_dir else None
    counts = Counts(state / "counts" if state else None)
    counts.save()
    server = await asyncio.start_server(lambda r, w: handle(r, w, args, counts), "127.0.0.1",
                                        args.port)
    port = server.sockets[0].getsockname()[1]
    if state:
        (state / "pid").write_text(f"{os.getpid()}\n")
        (state / "port").write_text(f"{port}\n")
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    loop.add_signal_handler(signal.SIGUSR1, counts.reset)
    try:
        await asyncio.wait_for(stop.wait(), args.max_seconds)
    except asyncio.TimeoutError:
        pass
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
