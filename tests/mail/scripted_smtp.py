"""A one-connection SMTP server with a fixed script, for what aiosmtpd cannot do.

Scenarios:
  drop-in-data   accepts MAIL and RCPT, answers DATA with 354, reads a little, then hangs up
  starttls-454   offers STARTTLS and AUTH, answers STARTTLS with 454
  no-auth        offers no AUTH at all and would take the mail
Every line the client sends is appended to --log (lines that follow AUTH are logged as such).
"""
import argparse
import os
import socket


def main():
    p = argparse.ArgumentParser()
    p.add_argument("scenario", choices=["drop-in-data", "starttls-454", "no-auth"])
    p.add_argument("--port-file", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--lifetime", type=float, default=60)
    a = p.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(a.lifetime)
    with open(a.port_file + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.replace(a.port_file + ".tmp", a.port_file)

    conn, _ = listener.accept()
    conn.settimeout(a.lifetime)
    reader = conn.makefile("rb")
    log = open(a.log, "a", buffering=1)

    def send(text):
        conn.sendall(text.encode() + b"\r\n")

    capabilities = {
        "drop-in-data": ["SIZE 10000000"],
        "starttls-454": ["STARTTLS", "AUTH PLAIN LOGIN"],
        "no-auth": ["SIZE 10000000", "8BITMIME"],
    }[a.scenario]

    send("220 scripted ESMTP")
    in_data = False
    received = 0
    while True:
        line = reader.readline()
        if not line:
            break
        if in_data:
            received += len(line)
            if received > 200:
                log.write("HUNG UP IN DATA\n")
                conn.shutdown(socket.SHUT_RDWR)
                conn.close()
                return
            continue
        text = line.decode("utf-8", "replace").rstrip("\r\n")
        log.write(text + "\n")
        verb = text.split(" ")[0].upper()
        if verb == "EHLO":
            lines = ["scripted"] + capabilities
            for i, cap in enumerate(lines):
                send("250%s%s" % ("-" if i + 1 < len(lines) else " ", cap))
        elif verb == "STARTTLS":
            send("454 4.7.0 TLS not available due to temporary reason")
        elif verb == "AUTH":
            send("535 5.7.8 not here")
        elif verb in ("MAIL", "RCPT", "RSET", "NOOP"):
            send("250 OK")
        elif verb == "DATA":
            send("354 go ahead")
            in_data = True
        elif verb == "QUIT":
            send("221 bye")
            break
        else:
            send("502 5.5.2 command not recognised")
    conn.close()


if __name__ == "__main__":
    main()
