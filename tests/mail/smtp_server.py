# Loopback SMTP server for the mail tests: prints its port, saves NNNN.eml (DATA), NNNN.env
# (sender, recipients) and NNNN.partK (attachments, decoded by Python's MIME parser).
import argparse
import asyncio
import email
import email.policy
import os
import signal
import socket

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


class Saver:
    def __init__(self, args):
        self.args, self.count = args, 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.args.refuse_rcpt:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        if address in self.args.forward_rcpt:
            return "251 2.1.5 User not local; will forward"
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.args.folder, "%04d" % self.count)
        content = envelope.original_content or envelope.content
        message = email.message_from_bytes(content, policy=email.policy.compat32)
        parts = [p.get_payload(decode=True) for p in message.walk() if p.get_filename()]
        # The .eml comes last: once it is there, everything is (and all before the 250).
        files = [(base + ".env", "\n".join([envelope.mail_from] + envelope.rcpt_tos).encode())]
        files += [(base + ".part%d" % k, data) for k, data in enumerate(parts)]
        for path, data in files + [(base + ".eml", content)]:
            with open(path, "wb") as out:
                out.write(data)
        return "250 OK saved"

    def check(self, login, password):
        return login.decode() == self.args.user and password.decode() == self.args.password


class WordedPrompts(Saver):  # AUTH LOGIN worded as some other server words it
    async def auth_LOGIN(self, server, args):
        login = await server.challenge_auth(self.args.login_prompts[0])
        password = await server.challenge_auth(self.args.login_prompts[1])
        ok = MISSING not in (login, password) and self.check(login, password)
        return AuthResult(success=ok, handled=False)


class NoEhloSMTP(SMTP):
    async def smtp_EHLO(self, hostname):
        await self.push("500 5.5.1 Command not recognized")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--login-prompts", type=lambda text: text.split(","))
    parser.add_argument("--refuse-rcpt", action="append", default=[])
    parser.add_argument("--forward-rcpt", action="append", default=[])
    parser.add_argument("--refuse-ehlo", action="store_true")
    parser.add_argument("--silent", action="store_true")
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    while args.silent:  # connections complete in the kernel's backlog; nobody says a word
        signal.pause()

    handler = (WordedPrompts if args.login_prompts else Saver)(args)
    options = {}
    if args.password is not None:
        options = dict(auth_required=True, auth_require_tls=False)
        if not args.login_prompts:
            options["authenticator"] = lambda server, session, envelope, mechanism, data: \
                AuthResult(success=isinstance(data, LoginPassword) and handler.check(
                    data.login, data.password), handled=False)
    factory = NoEhloSMTP if args.refuse_ehlo else SMTP
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    loop.run_until_complete(loop.create_server(
        lambda: factory(handler, hostname="loopback", **options), sock=listener))
    loop.run_forever()


main()
