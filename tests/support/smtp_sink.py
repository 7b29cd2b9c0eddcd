#!/usr/bin/python3
"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1 at a free port.

Usage: smtp_sink.py FOLDER [--tls starttls|implicit CERT KEY] [--user NAME PASSWORD]
                           [--login-only]
Prints the port on the first line of its output, then writes every mail it accepts
to FOLDER/mailN.txt: "HELO: name", "FROM: address", one "TO: address" per recipient,
an empty line, then the message as received (after the closing "." and with the
dot-stuffing undone). Stops when its standard input closes, or after five minutes.

--tls offers STARTTLS (and refuses mail before it) or speaks TLS from the first byte,
with the certificate and key given. --user accepts that name and password only (AUTH
PLAIN and LOGIN, or LOGIN alone with --login-only), offers them even without TLS and
appends every attempt to FOLDER/auth.txt as "MECHANISM name password". With either,
the mail file begins with "TLS: yes|no" and "AUTH: name|-" lines.
"""
import asyncio
import logging
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult


class Sink:
    def __init__(self, folder, secure):
        self.folder = folder
        self.secure = secure
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        head = ""
        if self.secure:
            tls = server.transport.get_extra_info("ssl_object") is not None
            login = session.auth_data.login.decode() if session.authenticated else "-"
            head = "TLS: %s\nAUTH: %s\n" % ("yes" if tls else "no", login)
        head += "HELO: %s\nFROM: %s\n" % (session.host_name, envelope.mail_from)
        head += "".join("TO: %s\n" % to for to in envelope.rcpt_tos)
        temp = os.path.join(self.folder, ".mail%d.tmp" % self.count)
        with open(temp, "wb") as out:
            out.write(head.encode() + b"\n" + envelope.original_content)
        os.rename(temp, os.path.join(self.folder, "mail%d.txt" % self.count))
        return "250 Message accepted for delivery"


class Authenticator:
    def __init__(self, folder, user, password):
        self.log = os.path.join(folder, "auth.txt")
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        with open(self.log, "a") as out:
            out.write("%s %s %s\n" % (mechanism, auth_data.login.decode(),
                                      auth_data.password.decode()))
        good = auth_data.login == self.user and auth_data.password == self.password
        return AuthResult(success=good, handled=False, auth_data=auth_data)


async def main(folder, args):
    loop = asyncio.get_running_loop()
    smtp_options = {"hostname": "sink.test"}
    implicit = None
    if "--tls" in args:
        at = args.index("--tls")
        mode, cert, key = args[at + 1:at + 4]
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        if mode == "implicit":
            implicit = context
            smtp_options["auth_require_tls"] = False
        else:
            smtp_options["tls_context"] = context
            smtp_options["require_starttls"] = True
    if "--user" in args:
        at = args.index("--user")
        smtp_options["authenticator"] = Authenticator(folder, args[at + 1], args[at + 2])
        if implicit is None and "tls_context" not in smtp_options:
            smtp_options["auth_require_tls"] = False
        if "--login-only" in args:
            smtp_options["auth_exclude_mechanism"] = ["PLAIN"]
    sink = Sink(folder, len(args) > 0)
    if args:
        # Handshakes the tests make fail on purpose are no news.
        logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    server = await loop.create_server(
        lambda: SMTP(sink, **smtp_options), host="127.0.0.1", port=0, ssl=implicit)
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
    asyncio.run(main(sys.argv[1], sys.argv[2:]))
