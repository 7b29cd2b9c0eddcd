#!/usr/bin/python3
"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1 at a free port.

Usage: smtp_sink.py FOLDER
Prints the port on the first line of its output, then writes every mail it accepts
to FOLDER/mailN.txt: "HELO: name", "FROM: address", one "TO: address" per recipient,
an empty line, then the message as received (after the closing "." and with the
dot-stuffing undone). Stops when its standard input closes, or after five minutes.
"""
import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        head = "HELO: %s\nFROM: %s\n" % (session.host_name, envelope.mail_from)
        head += "".join("TO: %s\n" % to for to in envelope.rcpt_tos)
        temp = os.path.join(self.folder, ".mail%d.tmp" % self.count)
        with open(temp, "wb") as out:
            out.write(head.encode() + b"\n" + envelope.original_content)
        os.rename(temp, os.path.join(self.folder, "mail%d.txt" % self.count))
        return "250 Message accepted for delivery"


async def main(folder):
    loop = asyncio.get_running_loop()
    sink = Sink(folder)
    server = await loop.create_server(
        lambda: SMTP(sink, hostname="sink.test"), host="127.0.0.1", port=0)
    print(server.sockets[0].getsockname()[1], flush=True)
    done = loop.create_future()

    def stdin_readable():
        if not os.read(sys.stdin.fileno(), 4096) and not done.done():
            done.set_result(None)

    loop.add_reader(sys.stdin.fileno(), stdin_readable)
    try:
        await asyncio.wait_for(done, timeout=300)
    except asyncio.TimeoutError:
        pass
    server.close()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1]))
