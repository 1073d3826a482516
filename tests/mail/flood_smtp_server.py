#!/usr/bin/python3
"""A misbehaving SMTP server for the client's tests: it floods the client.

It listens on 127.0.0.1 on a port the system picks and writes that number to
--port-file once it accepts connections. --mode says how it floods:
  greeting   "220-" lines without end instead of a greeting
  ehlo       a normal greeting, then "250-" lines without end for the first
             command
  slow       as ehlo, but one line every 5 ms
  longline   a normal greeting, then a reply line of 70,000 characters to
             the first command, followed by "250 ok" lines for whatever comes
Every mode goes on until the client closes the connection. The number of
lines each connection was sent goes to --folder/lines.log when it ends.
"""
import argparse
import asyncio
import os


async def flood(writer, prefix, delay):
    n = 0
    try:
        while True:
            writer.write(b"%sflood line %d\r\n" % (prefix, n))
            n += 1
            if delay:
                await asyncio.sleep(delay)
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    return n


async def handle(reader, writer, mode, folder):
    n = 0
    try:
        if mode == "greeting":
            n = await flood(writer, b"220-", 0)
        else:
            writer.write(b"220 flood.test ready\r\n")
            await writer.drain()
            await reader.readline()
            if mode == "ehlo":
                n = await flood(writer, b"250-", 0)
            elif mode == "slow":
                n = await flood(writer, b"250-", 0.005)
            elif mode == "longline":
                writer.write(b"250 " + b"x" * 70000 + b"\r\n")
                await writer.drain()
                while await reader.readline():
                    writer.write(b"250 ok\r\n")
                    await writer.drain()
    except (ConnectionError, OSError):
        pass
    finally:
        with open(os.path.join(folder, "lines.log"), "a") as f:
            f.write("%d\n" % n)
        writer.close()


async def serve(args):
    server = await asyncio.start_server(
        lambda r, w: handle(r, w, args.mode, args.folder), "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.replace(tmp, args.port_file)
    async with server:
        await server.serve_forever()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--folder", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--mode", required=True, choices=["greeting", "ehlo", "slow", "longline"])
    asyncio.run(serve(p.parse_args()))


if __name__ == "__main__":
    main()
