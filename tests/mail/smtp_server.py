# Loopback SMTP server for the mail tests: prints its port, saves NNNN.eml (DATA), NNNN.env
# (sender, recipients), NNNN.partK (attachments, decoded by Python's MIME parser) and
# NNNN.decoded (subject, names and file names as Python's email package reads them), and
# appends each command's verb to "commands". With --cert it offers STARTTLS, or speaks TLS
# from the start with --implicit-tls.
import argparse
import asyncio
import email
import email.policy
import os
import signal
import socket
import ssl

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


class Saver:
    def __init__(self, args):
        self.args, self.count = args, 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.args.refuse_rcpt:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.args.folder, "%04d" % self.count)
        content = envelope.original_content or envelope.content
        if self.args.temp_fail > 0:
            self.args.temp_fail -= 1
            server.close_after = True
            return "421 4.3.2 Try again later"
        if self.args.refuse_data:
            return "550 5.7.1 Message refused"
        if isinstance(content, str):
            content = content.encode("ascii")
        message = email.message_from_bytes(content, policy=email.policy.compat32)
        parts = [p.get_payload(decode=True) for p in message.walk() if p.get_filename()]
        modern = email.message_from_bytes(content, policy=email.policy.default)
        names = [str(modern["subject"]), str(modern["from"]), str(modern["to"])]
        names += [p.get_filename() for p in modern.walk() if p.get_filename()]
        body = modern.get_body(("plain",))
        names.append(body.get_content() if body is not None else "")
        # The .eml comes last: once it is there, everything is (and all before the 250).
        files = [(base + ".env", "\n".join([envelope.mail_from] + envelope.rcpt_tos).encode())]
        files += [(base + ".part%d" % k, data) for k, data in enumerate(parts)]
        files += [(base + ".decoded", "\n".join(names).encode())]
        if self.args.close_after_data:
            server.close_after = True
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


class TestSMTP(SMTP):
    close_after = False

    async def _call_handler_hook(self, command, *args):  # every command, in order
        with open(os.path.join(ARGS.folder, "commands"), "a") as log:
            log.write(command + "\n")
        return await super()._call_handler_hook(command, *args)

    async def smtp_AUTH(self, arg):
        with open(os.path.join(ARGS.folder, "commands"), "a") as log:
            log.write("AUTH\n")
        return await super().smtp_AUTH(arg)

    async def smtp_EHLO(self, hostname):
        with open(os.path.join(ARGS.folder, "commands"), "a") as log:
            log.write("EHLO-NAME " + hostname + "\n")
        if ARGS.refuse_ehlo:
            return await self.push("500 5.5.1 Command not recognized")
        return await super().smtp_EHLO(hostname)

    async def smtp_STARTTLS(self, arg):
        if ARGS.broken_starttls == "garbage":
            await self.push("220 Ready to start TLS")
            self.transport.write(b"this is no TLS at all\r\n" * 20)
            return
        if ARGS.broken_starttls == "drop":
            await self.push("220 Ready to start TLS")
            self.transport.close()
            return
        return await super().smtp_STARTTLS(arg)

    async def push(self, status):
        await super().push(status)
        if self.close_after:  # the reply is out; now the server goes away
            self.transport.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--login-prompts", type=lambda text: text.split(","))
    parser.add_argument("--refuse-rcpt", action="append", default=[])
    parser.add_argument("--refuse-ehlo", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--close-after-data", action="store_true")
    parser.add_argument("--temp-fail", type=int, default=0)
    parser.add_argument("--refuse-data", action="store_true")
    parser.add_argument("--strict", action="store_true")
    parser.add_argument("--no-plain", action="store_true")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--broken-starttls", choices=["garbage", "drop"])
    parser.add_argument("--bind", default="127.0.0.1")
    global ARGS
    ARGS = args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind((args.bind, 0))
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
    if args.no_plain or args.login_prompts:
        options["auth_exclude_mechanism"] = ["PLAIN"]
    if args.strict:  # 7-bit only: no SMTPUTF8, and DATA must decode as ASCII
        options.update(decode_data=True, enable_SMTPUTF8=False)
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        if not args.implicit_tls:
            options["tls_context"] = context
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    loop.run_until_complete(loop.create_server(
        lambda: TestSMTP(handler, hostname="loopback", **options), sock=listener,
        ssl=context if args.implicit_tls else None))
    loop.run_forever()


main()
