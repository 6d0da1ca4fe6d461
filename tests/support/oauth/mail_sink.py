"""The mail sink behind the token-checking Dovecot instances: aiosmtpd on 127.0.0.1 that keeps
every message it is handed, as the mail tests' own server does (tests/mail/smtp_server.py,
whose JSON summary it writes: message-N.eml and message-N.json in --out, N from 1).

  mail_sink.py --out DIR --port-file FILE [--lifetime SECONDS]

It offers no AUTH: Dovecot's relay client adds an AUTH= parameter to MAIL FROM (RFC 4954
section 5) wherever the relay offers AUTH, and aiosmtpd refuses that parameter with 555. Nor does
it set a size limit, which Dovecot would then pass on as SIZE=. It writes its port to FILE once it
listens and stops on SIGTERM or after the lifetime.
"""
import argparse
import asyncio
import json
import os
import signal
import sys

from aiosmtpd.smtp import SMTP

# One summary format for every test mail server.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "mail"))
from smtp_server import summarise  # noqa: E402


class Handler:
    def __init__(self, out):
        self.out = out
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.out, "message-%d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(base + ".json.tmp", "w", encoding="utf-8") as f:
            json.dump(summarise(envelope, session), f, ensure_ascii=False)
        os.replace(base + ".json.tmp", base + ".json")
        return "250 2.0.0 Message accepted"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--lifetime", type=float, default=900)
    a = p.parse_args()

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(a.out)
    server = loop.run_until_complete(loop.create_server(
        lambda: SMTP(handler, loop=loop, hostname="orvane-test-sink", data_size_limit=None),
        host="127.0.0.1", port=0))
    port = server.sockets[0].getsockname()[1]
    with open(a.port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.replace(a.port_file + ".tmp", a.port_file)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.call_later(a.lifetime, loop.stop)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
