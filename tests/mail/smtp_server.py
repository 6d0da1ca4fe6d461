"""aiosmtpd on 127.0.0.1 for the mail integration tests.

Writes its port to --port-file once it listens, stores every accepted message under --out
(raw .eml plus a JSON summary decoded with Python's email package), stops on SIGTERM or after
--lifetime seconds.
"""
import argparse
import asyncio
import hashlib
import json
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, LoginPassword
from email import policy
from email.parser import BytesParser

# The login is checked as the demo's mail catcher checks it.
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
sys.path.insert(0, SCRIPTS)
from smtp_login import make_authenticator  # noqa: E402


def summarise(envelope, session):
    raw = envelope.original_content or envelope.content
    message = BytesParser(policy=policy.default).parsebytes(raw)
    parts = []
    body = None
    for part in message.walk():
        if part.is_multipart():
            continue
        filename = part.get_filename()
        payload = part.get_payload(decode=True) or b""
        if filename is None and body is None and part.get_content_type() == "text/plain":
            body = part.get_content()
            continue
        parts.append({
            "filename": filename,
            "content_type": part.get_content_type(),
            "size": len(payload),
            "sha256": hashlib.sha256(payload).hexdigest(),
        })
    return {
        "mail_from": envelope.mail_from,
        "rcpt_tos": envelope.rcpt_tos,
        "auth_user": session.auth_data.login.decode() if isinstance(session.auth_data, LoginPassword) else None,
        "subject": str(message["subject"]),
        "from": str(message["from"]),
        "to": str(message["to"]),
        "header_names": list(message.keys()),
        "body": body,
        "attachments": parts,
        "defects": [str(d) for d in message.defects],
    }


class Handler:
    def __init__(self, out, refused):
        self.out = out
        self.refused = refused
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.out, "message-%d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        summary = summarise(envelope, session)
        with open(base + ".json.tmp", "w", encoding="utf-8") as f:
            json.dump(summary, f, ensure_ascii=False)
        os.replace(base + ".json.tmp", base + ".json")
        return "250 2.0.0 Message accepted"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--mode", choices=["plain", "starttls", "implicit"], default="plain")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--auth", help="user:password")
    p.add_argument("--require-auth", action="store_true")
    p.add_argument("--refuse", action="append", default=[])
    p.add_argument("--size-limit", type=int, default=0, help="0: no limit")
    p.add_argument("--out", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--lifetime", type=float, default=300)
    a = p.parse_args()

    context = None
    if a.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.cert, a.key)
    handler = Handler(a.out, set(a.refuse))
    kwargs = dict(data_size_limit=a.size_limit or None, hostname="orvane-test-server")
    if a.auth:
        user, password = a.auth.split(":", 1)
        kwargs["authenticator"] = make_authenticator(user, password)
    kwargs["auth_required"] = a.require_auth
    # On an implicit-TLS listener aiosmtpd does not know the connection is encrypted.
    kwargs["auth_require_tls"] = a.mode == "starttls"
    if a.mode == "starttls":
        kwargs["tls_context"] = context
        kwargs["require_starttls"] = True

    serve(handler, kwargs, a.port_file, a.lifetime, ssl=context if a.mode == "implicit" else None)


def serve(handler, smtp_options, port_file, lifetime, ssl=None):
    """Listens on a free port of 127.0.0.1, writes it to port_file (whole, by a rename) and
    serves until SIGTERM or the lifetime is over."""
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: SMTP(handler, loop=loop, **smtp_options), host="127.0.0.1", port=0, ssl=ssl))
    port = server.sockets[0].getsockname()[1]
    with open(port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.replace(port_file + ".tmp", port_file)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.call_later(lifetime, loop.stop)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
