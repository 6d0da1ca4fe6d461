"""The demo's mail catcher: an SMTP server (aiosmtpd) on a plain port of 127.0.0.1.

It accepts every message, with or without a login (AUTH PLAIN and LOGIN, for one user and
password), stores each as message-N.eml in --out, and prints one line per message: sender,
recipients, subject, and for each attachment its name, its size and whether it decodes to the
same bytes as the file of that name in one of the --compare folders. Writes its port to
--port-file once it listens; ends on SIGTERM.
"""
import argparse
import asyncio
import os
import signal
import sys
from email import policy
from email.header import decode_header, make_header
from email.parser import BytesParser

from aiosmtpd.smtp import SMTP, LoginPassword

from smtp_login import make_authenticator


def decoded(text):
    """A header value or file name as the user wrote it: RFC 2047 words decoded, should any be
    left where the parser does not look for them (inside a quoted file name)."""
    if text and "=?" in text:
        try:
            return str(make_header(decode_header(text)))
        except (ValueError, LookupError):
            pass
    return text or ""


def verdict(name, payload, folders):
    """Whether the attachment decodes to the file of the same name in one of the folders."""
    base = os.path.basename(name.replace("\\", "/"))
    for folder in folders:
        path = os.path.join(folder, base)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                same = f.read() == payload
            return ("byte-identical to " if same else "DIFFERS from ") + path
    return "no file named %s in %s to compare with" % (base, ", ".join(folders))


def describe(number, envelope, session, folders):
    raw = envelope.original_content or envelope.content
    message = BytesParser(policy=policy.default).parsebytes(raw)
    login = session.auth_data.login.decode() \
        if isinstance(session.auth_data, LoginPassword) else None
    words = ["message-%d.eml:" % number, "from", envelope.mail_from or "<>",
             "to", ", ".join(envelope.rcpt_tos),
             "(logged in as %s)" % login if login else "(no login)",
             '| subject "%s"' % decoded(str(message["subject"] or ""))]
    attachments = [part for part in message.walk()
                   if not part.is_multipart() and part.get_filename() is not None]
    for part in attachments:
        name = decoded(part.get_filename())
        payload = part.get_payload(decode=True) or b""
        words.append('| attachment "%s", %d bytes, %s'
                     % (name, len(payload), verdict(name, payload, folders)))
    if not attachments:
        words.append("| no attachment")
    return " ".join(words)


class Catcher:
    def __init__(self, out, folders):
        self.out = out
        self.folders = folders
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        # After the messages of earlier runs, which stay.
        while os.path.exists(os.path.join(self.out, "message-%d.eml" % self.count)):
            self.count += 1
        with open(os.path.join(self.out, "message-%d.eml" % self.count), "wb") as f:
            f.write(envelope.original_content or envelope.content)
        # Printed before the reply, so the line is out when the client hears "sent".
        print(describe(self.count, envelope, session, self.folders), flush=True)
        return "250 2.0.0 Message accepted"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True, help="where the .eml files go")
    p.add_argument("--compare", action="append",
                   help="a folder of the files the attachments should match")
    p.add_argument("--user", default="demo")
    p.add_argument("--password", default="demo")
    p.add_argument("--port-file", required=True)
    a = p.parse_args()
    os.makedirs(a.out, exist_ok=True)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    # No TLS, so the login goes in the clear on the loopback; no size limit, so any scan fits.
    catcher = Catcher(a.out, a.compare or [os.path.dirname(os.path.abspath(a.out))])
    server = loop.run_until_complete(loop.create_server(
        lambda: SMTP(catcher, loop=loop, hostname="orvane-demo", data_size_limit=None,
                     authenticator=make_authenticator(a.user, a.password), auth_require_tls=False),
        host="127.0.0.1", port=0))
    with open(a.port_file + ".tmp", "w") as f:
        f.write(str(server.sockets[0].getsockname()[1]))
    os.replace(a.port_file + ".tmp", a.port_file)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    loop.run_forever()
    server.close()
    sys.stdout.flush()


if __name__ == "__main__":
    main()
