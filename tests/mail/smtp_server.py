"""A loopback SMTP server for the mail tests.

Prints its port on the first line of stdout, then serves until killed. Every accepted
message is saved in the folder as NNNN.eml (the bytes received after DATA), NNNN.env (the
envelope: sender, then one recipient a line) and NNNN.partK (each attachment, decoded by
Python's own MIME parser).
"""
import argparse
import asyncio
import email
import email.policy
import os
import signal
import logging
import socket
import sys
import warnings

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


class Saver:
    def __init__(self, folder, refused):
        self.folder = folder
        self.refused = refused
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%04d" % self.count)
        content = envelope.original_content or envelope.content
        parts = []
        message = email.message_from_bytes(content, policy=email.policy.compat32)
        for part in message.walk():
            if part.get_filename():
                parts.append(part.get_payload(decode=True))
        # Written under temporary names and renamed, the .eml last: once it is there,
        # everything of the message is.
        files = [(base + ".env", "\n".join([envelope.mail_from] + envelope.rcpt_tos).encode())]
        files += [(base + ".part%d" % k, data) for k, data in enumerate(parts)]
        files.append((base + ".eml", content))
        for path, data in files:
            with open(path + ".tmp", "wb") as out:
                out.write(data)
            os.rename(path + ".tmp", path)
        return "250 OK saved"


class WordedPrompts(Saver):
    """AUTH LOGIN with prompts worded as some other server words them."""

    def __init__(self, folder, refused, user, password, prompts):
        super().__init__(folder, refused)
        self.user, self.password, self.prompts = user, password, prompts

    async def auth_LOGIN(self, server, args):
        login = await server.challenge_auth(self.prompts[0])
        if login is MISSING:
            return AuthResult(success=False, handled=True)
        password = await server.challenge_auth(self.prompts[1])
        if password is MISSING:
            return AuthResult(success=False, handled=True)
        ok = login.decode() == self.user and password.decode() == self.password
        return AuthResult(success=ok, handled=False)


class NoEhloSMTP(SMTP):
    async def smtp_EHLO(self, hostname):
        await self.push("500 5.5.1 Command not recognized")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--login-prompts", help="the two AUTH LOGIN prompts, comma-separated")
    parser.add_argument("--refuse-rcpt", action="append", default=[])
    parser.add_argument("--refuse-ehlo", action="store_true")
    parser.add_argument("--silent", action="store_true", help="accept connections, never answer")
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    if args.silent:
        # Connections complete in the kernel's backlog; nobody ever says a word.
        while True:
            signal.pause()

    warnings.simplefilter("ignore")
    logging.disable(logging.CRITICAL)
    if args.login_prompts:
        handler = WordedPrompts(args.folder, set(args.refuse_rcpt), args.user, args.password,
                                args.login_prompts.split(","))
    else:
        handler = Saver(args.folder, set(args.refuse_rcpt))
    options = {}
    if args.password is not None:
        def authenticate(server, session, envelope, mechanism, data):
            ok = (isinstance(data, LoginPassword) and data.login.decode() == args.user
                  and data.password.decode() == args.password)
            return AuthResult(success=ok, handled=False)
        options = dict(auth_required=True, auth_require_tls=False)
        if not args.login_prompts:
            options["authenticator"] = authenticate
    factory = NoEhloSMTP if args.refuse_ehlo else SMTP

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: factory(handler, hostname="loopback", **options), sock=listener))
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
