#!/usr/bin/python3
"""An SMTP server for the mail client's tests, built on aiosmtpd.

It listens on 127.0.0.1 on a port the system picks and writes that number to
--port-file once it accepts connections. Into --folder it writes:
  commands.log   every command line as the server understood it, one a line
  msg-N.eml      the N-th accepted message (1-based), as received after
                 the DATA phase (dots already unstuffed)
  msg-N.json     its envelope: {"mail_from": ..., "rcpt_tos": [...]}
--refuse-rcpt ADDRESS (repeatable) answers that recipient with 550;
--refuse-data answers the end of DATA with 554 and stores nothing;
--drop-data closes the connection at the end of DATA without a reply;
--no-ehlo answers EHLO with 502, as a server from before EHLO does.
With --cert and --key (PEM files) the server speaks TLS: --starttls offers
STARTTLS and refuses mail before it, --implicit-tls wraps every connection
in TLS from the first byte. --auth USER:PASSWORD requires that login before
MAIL (offered only over TLS); --no-plain leaves AUTH LOGIN the only way.
The envelope then also says whether the mail came over TLS and who logged in.
"""
import argparse
import asyncio
import functools
import json
import os
import ssl

from aiosmtpd.smtp import SMTP, AuthResult


class Recorder:
    def __init__(self, folder, refuse_rcpt, refuse_data, drop_data):
        self.folder = folder
        self.refuse_rcpt = {a.lower() for a in refuse_rcpt}
        self.refuse_data = refuse_data
        self.drop_data = drop_data
        self.count = 0

    def command(self, line):
        with open(os.path.join(self.folder, "commands.log"), "a", encoding="utf-8") as f:
            f.write(line + "\n")

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refuse_rcpt:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.drop_data:
            server.transport.abort()
            return "250 never seen"
        if self.refuse_data:
            return "554 5.6.0 Message refused by policy"
        self.count += 1
        base = os.path.join(self.folder, "msg-%d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.content)
        login = None
        if session.authenticated and session.auth_data is not None:
            login = session.auth_data.login.decode("utf-8", "replace")
        with open(base + ".json", "w", encoding="utf-8") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                       "tls": server.transport.get_extra_info("sslcontext") is not None
                       or session.ssl is not None,
                       "login": login}, f)
        return "250 Message accepted for delivery"


class Authenticator:
    def __init__(self, user, password):
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = auth_data.login == self.user and auth_data.password == self.password
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


class RecordingSMTP(SMTP):
    """Logs each command line before the usual handling runs."""

    def __init__(self, handler, no_ehlo=False, **kwargs):
        super().__init__(handler, **kwargs)
        if no_ehlo:
            self._smtp_methods["EHLO"] = self._refuse_ehlo
        for name, method in list(self._smtp_methods.items()):
            self._smtp_methods[name] = self._recording(name, method)

    async def _refuse_ehlo(self, arg):
        await self.push("502 5.5.1 Command not implemented")

    def _recording(self, name, method):
        @functools.wraps(method)
        async def wrapper(arg):
            self.event_handler.command(name if arg is None else name + " " + arg)
            return await method(arg)

        return wrapper


async def serve(args):
    recorder = Recorder(args.folder, args.refuse_rcpt, args.refuse_data, args.drop_data)
    loop = asyncio.get_running_loop()
    options = {"hostname": "mail.test", "ident": "Test SMTP", "no_ehlo": args.no_ehlo}
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    if args.starttls:
        options.update(tls_context=context, require_starttls=True)
    if args.auth:
        user, _, password = args.auth.partition(":")
        options.update(authenticator=Authenticator(user, password), auth_required=True,
                       auth_require_tls=not args.implicit_tls)
        if args.no_plain:
            options["auth_exclude_mechanism"] = ["PLAIN"]
    server = await loop.create_server(
        lambda: RecordingSMTP(recorder, **options), "127.0.0.1", 0,
        ssl=context if args.implicit_tls else None)
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
    p.add_argument("--refuse-rcpt", action="append", default=[])
    p.add_argument("--refuse-data", action="store_true")
    p.add_argument("--drop-data", action="store_true")
    p.add_argument("--no-ehlo", action="store_true")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--starttls", action="store_true")
    p.add_argument("--implicit-tls", action="store_true")
    p.add_argument("--auth")
    p.add_argument("--no-plain", action="store_true")
    asyncio.run(serve(p.parse_args()))


if __name__ == "__main__":
    main()
