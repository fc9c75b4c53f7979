#!/usr/bin/python3
"""A loopback SMTP server that keeps every message it receives.

Each message is written to OUTDIR as NNN.eml (the data as received) and
NNN.json (envelope sender, recipients, time). It ends by itself after
--lifetime seconds. Used by the demo and by the end-to-end tests.

  smtp_sink.py OUTDIR [--port N] [--delay S] [--starttls CERT KEY] [--lifetime S]
               [--auth USER PASSWORD_FILE] [--reject-rcpt REPLY]

With --auth it offers AUTH LOGIN and PLAIN (also without TLS), takes only
that user and the password that the file holds (so that the password is not
on this server's own command line), and refuses mail from a client that has
not logged in. --reject-rcpt answers every RCPT TO with REPLY (e.g.
"550 5.1.1 <x>: unknown user").

The chosen port is written to OUTDIR/port once the server listens.
"""
import argparse
import asyncio
import json
import os
import socket
import ssl
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


class Keeper:
    def __init__(self, outdir, delay, reject_rcpt=None):
        self.outdir = outdir
        self.delay = delay
        self.reject_rcpt = reject_rcpt
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.reject_rcpt:
            return self.reject_rcpt
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.delay:
            await asyncio.sleep(self.delay)
        self.count += 1
        base = os.path.join(self.outdir, "%03d" % self.count)
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        os.rename(base + ".eml.part", base + ".eml")
        with open(base + ".json", "w") as f:
            json.dump({"mail_from": envelope.mail_from,
                       "rcpt_tos": envelope.rcpt_tos,
                       "login": session.auth_data if session.authenticated else None,
                       "time": time.time()}, f)
        return "250 Message accepted for delivery"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("outdir")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--delay", type=float, default=0.0)
    ap.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    ap.add_argument("--lifetime", type=float, default=120.0)
    ap.add_argument("--auth", nargs=2, metavar=("USER", "PASSWORD_FILE"))
    ap.add_argument("--reject-rcpt", metavar="REPLY")
    args = ap.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    port = args.port or free_port()
    kwargs = {}
    if args.starttls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*args.starttls)
        kwargs = {"tls_context": context, "require_starttls": True}
    if args.auth:
        with open(args.auth[1], "rb") as f:
            wanted = (args.auth[0].encode(), f.read().rstrip(b"\n"))

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = (auth_data.login, auth_data.password) == wanted
            return AuthResult(success=ok, auth_data=auth_data.login.decode() if ok else None)

        kwargs.update(authenticator=authenticator, auth_required=True, auth_require_tls=False)
    controller = Controller(Keeper(args.outdir, args.delay, args.reject_rcpt), hostname="127.0.0.1", port=port,
                            ready_timeout=10, **kwargs)
    controller.start()
    with open(os.path.join(args.outdir, "port.part"), "w") as f:
        f.write(str(port))
    os.rename(os.path.join(args.outdir, "port.part"), os.path.join(args.outdir, "port"))
    try:
        time.sleep(args.lifetime)
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
