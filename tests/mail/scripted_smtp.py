"""A one-connection SMTP server with a fixed script, for what aiosmtpd cannot do.

Each scenario below changes a few answers of an otherwise well-behaved server. An answer is a
reply line (several lines for a multi-line reply), or one of the actions:
  HANGUP        close the connection without a reply
  HANGUP-SOON   (in_data) read a little of the message, then reset the connection
  TRUNCATE      (data) truncate the --file given on the command line, then answer 354
  SILENCE       (greeting, dot) say nothing, and keep the connection open until the client
                leaves
  CHALLENGE     (auth) answer every line with 334 and the client's own line, for ever
  STREAM        (auth) send "334-" continuation lines, a reply that never ends, until the
                client goes away

Every line the client sends is appended to --log, and so are these events: "MESSAGE COMPLETE"
(the final dot arrived), "HUNG UP IN DATA", "CLOSED IN DATA" (the client went away before the
final dot), "CLIENT LEFT" (it went away while waiting for the greeting), "TRUNCATED". Lines
sent after AUTH are logged as "(auth data)".
"""
import argparse
import os
import socket
import struct

LONG_TEXT = "x" * 100_000

DEFAULT = {
    "greeting": "220 scripted ESMTP",
    "ehlo": ["250-scripted", "250-SIZE 10000000", "250 8BITMIME"],
    "helo": "250 scripted",
    "starttls": "454 4.7.0 TLS not available due to temporary reason",
    "auth": "535 5.7.8 not here",
    "mail": "250 2.1.0 OK",
    "rcpt": {},  # address -> reply; every other address gets 250
    "data": "354 go ahead",
    "in_data": None,
    "dot": "250 2.0.0 queued",
}

SCENARIOS = {
    "drop-in-data": {"in_data": "HANGUP-SOON"},
    "starttls-454": {"ehlo": ["250-scripted", "250-STARTTLS", "250 AUTH PLAIN LOGIN"]},
    "no-auth": {},
    "greeting-421": {"greeting": "421 4.3.2 scripted closing: too busy, try later"},
    "greeting-554": {"greeting": "554 5.7.1 scripted: no SMTP service for you"},
    "silent-greeting": {"greeting": "SILENCE"},
    "ehlo-refused": {"ehlo": ["502 5.5.2 EHLO not implemented"]},
    "mail-451": {"mail": "451 4.3.0 scripted: local error in processing"},
    "mail-501": {"mail": "501 5.1.7 scripted: bad sender address syntax"},
    "rcpt-all-refused": {"rcpt": {"ann@example.org": "550 5.1.1 <ann@example.org>: no such user",
                                  "bob@example.org": "550 5.1.1 <bob@example.org>: no such user"}},
    "rcpt-second-refused": {"rcpt": {"bob@example.org": "553 5.1.3 <bob@example.org>: rejected"}},
    "size-552-at-mail": {"mail": "552 5.3.4 scripted: message size exceeds fixed limit"},
    "size-552-at-dot": {"dot": "552 5.3.4 scripted: message too big for this mailbox"},
    "hangup-after-dot": {"dot": "HANGUP"},
    "silent-after-dot": {"dot": "SILENCE"},
    "long-reply": {"rcpt": {"ann@example.org": ["550-5.1.1 " + LONG_TEXT,
                                                "550 5.1.1 scripted: that was long"]}},
    "long-greeting": {"greeting": ["220-" + LONG_TEXT, "220 scripted ESMTP"]},
    "auth-challenges": {"ehlo": ["250-scripted", "250 AUTH PLAIN LOGIN"], "auth": "CHALLENGE"},
    "auth-stream": {"ehlo": ["250-scripted", "250 AUTH PLAIN LOGIN"], "auth": "STREAM"},
    "truncate-in-data": {"data": "TRUNCATE"},
    # Microsoft 365 once basic authentication is off for submission.
    "auth-basic-off": {"ehlo": ["250-scripted", "250 AUTH LOGIN XOAUTH2"],
                       "auth": "535 5.7.139 Authentication unsuccessful, basic authentication is "
                               "disabled. [scripted]"},
    "auth-550-5730": {"ehlo": ["250-scripted", "250 AUTH PLAIN LOGIN"],
                      "auth": "550 5.7.30 Basic authentication is not supported for Client "
                              "Submission."},
    "mail-530-5757": {"mail": "530 5.7.57 Client not authenticated to send mail."},
}


def address_of(argument):
    start, end = argument.find("<"), argument.find(">")
    return argument[start + 1:end] if 0 <= start < end else argument


def main():
    p = argparse.ArgumentParser()
    p.add_argument("scenario", choices=sorted(SCENARIOS))
    p.add_argument("--port-file", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--file", help="the file TRUNCATE empties")
    p.add_argument("--lifetime", type=float, default=60)
    a = p.parse_args()
    script = dict(DEFAULT, **SCENARIOS[a.scenario])

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

    def answer(reply):
        lines = reply if isinstance(reply, list) else [reply]
        conn.sendall(b"".join(line.encode() + b"\r\n" for line in lines))

    def reset():
        # Unread data makes close() send a reset; SO_LINGER 0 makes sure of it.
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        conn.close()

    if script["greeting"] == "SILENCE":
        try:
            line = reader.readline()  # nothing, unless the client talks before the greeting
        except OSError:
            line = b""
        if line:
            log.write(line.decode("utf-8", "replace").rstrip("\r\n") + "\n")
        else:
            log.write("CLIENT LEFT\n")
        conn.close()
        return
    answer(script["greeting"])
    if not isinstance(script["greeting"], list) and not script["greeting"].startswith("220"):
        reader.readline()  # QUIT, if the client says it
        conn.close()
        return
    in_data = False
    in_auth = False
    received = 0
    while True:
        try:
            line = reader.readline()
        except OSError:  # a reset by the client counts as it going away
            line = b""
        if not line:
            if in_data:
                log.write("CLOSED IN DATA\n")
            break
        if in_data:
            received += len(line)
            if line == b".\r\n":
                log.write("MESSAGE COMPLETE\n")
                in_data = False
                if script["dot"] == "HANGUP":
                    conn.close()
                    return
                if script["dot"] != "SILENCE":
                    answer(script["dot"])
            elif script["in_data"] == "HANGUP-SOON" and received > 200:
                log.write("HUNG UP IN DATA\n")
                reset()
                return
            continue
        text = line.decode("utf-8", "replace").rstrip("\r\n")
        if in_auth:
            log.write("(auth data)\n")
            answer("334 " + text[:60])
            continue
        log.write(text + "\n")
        verb = text.split(" ")[0].upper()
        if verb == "EHLO":
            answer(script["ehlo"])
        elif verb == "HELO":
            answer(script["helo"])
        elif verb == "STARTTLS":
            answer(script["starttls"])
        elif verb == "AUTH" and script["auth"] == "STREAM":
            try:
                while True:
                    answer(["334-more"] * 1000)
            except OSError:
                log.write("STREAM STOPPED\n")
                return
        elif verb == "AUTH":
            in_auth = script["auth"] == "CHALLENGE"
            answer("334 " + text.split(" ")[1] if in_auth else script["auth"])
        elif verb == "MAIL":
            answer(script["mail"])
        elif verb == "RCPT":
            answer(script["rcpt"].get(address_of(text), "250 2.1.5 OK"))
        elif verb == "DATA":
            if script["data"] == "TRUNCATE":
                os.truncate(a.file, 0)
                log.write("TRUNCATED\n")
            answer("354 go ahead" if script["data"] == "TRUNCATE" else script["data"])
            in_data = True
        elif verb in ("RSET", "NOOP"):
            answer("250 OK")
        elif verb == "QUIT":
            answer("221 bye")
            break
        else:
            answer("502 5.5.2 command not recognised")
    conn.close()


if __name__ == "__main__":
    main()
