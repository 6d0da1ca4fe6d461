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
import os
import sys

# One server and one summary format for every test mail server.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "mail"))
from smtp_server import Handler, serve  # noqa: E402


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--lifetime", type=float, default=900)
    a = p.parse_args()

    serve(Handler(a.out, refused=[]), {"hostname": "orvane-test-sink", "data_size_limit": None},
          a.port_file, a.lifetime)


if __name__ == "__main__":
    main()
