"""An SMTP server that holds its answer to each message until the test releases it.

Listens on 127.0.0.1 and writes its port to DIR/port. Serves each connection in a thread of
its own, so a second client is answered while a first one is held. When the final dot of
message N has arrived it appends "MESSAGE N <bytes>" to DIR/log, creates DIR/holding-N, and
answers only once DIR/release-N exists: with the reply that file holds, or "250 2.0.0
accepted" when it is empty. Ends after --lifetime seconds or on SIGTERM.
"""
import argparse
import os
import socket
import threading
import time

lock = threading.Lock()
count = 0


def answer_after_release(directory, number, deadline):
    release = os.path.join(directory, "release-%d" % number)
    open(os.path.join(directory, "holding-%d" % number), "w").close()
    while not os.path.exists(release) and time.monotonic() < deadline:
        time.sleep(0.01)
    if not os.path.exists(release):
        return "421 4.4.2 held: the test never released this message"
    with open(release) as f:
        return f.read().strip() or "250 2.0.0 accepted"


def serve(conn, directory, deadline):
    global count
    reader = conn.makefile("rb")
    log = open(os.path.join(directory, "log"), "a", buffering=1)

    def send(text):
        conn.sendall(text.encode() + b"\r\n")

    send("220 held ESMTP")
    in_data, size = False, 0
    for line in reader:
        if in_data:
            if line != b".\r\n":
                size += len(line)
                continue
            in_data = False
            with lock:
                count += 1
                number = count
                log.write("MESSAGE %d %d\n" % (number, size))
            send(answer_after_release(directory, number, deadline))
            continue
        verb = line.decode("ascii", "replace").split(" ")[0].strip().upper()
        if verb == "EHLO":
            send("250-held\r\n250 SIZE 1000000000")
        elif verb == "DATA":
            send("354 go ahead")
            in_data, size = True, 0
        elif verb == "QUIT":
            send("221 bye")
            break
        else:
            send("250 OK")
    conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dir", required=True)
    p.add_argument("--lifetime", type=float, default=60)
    a = p.parse_args()
    deadline = time.monotonic() + a.lifetime

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    port_file = os.path.join(a.dir, "port")
    with open(port_file + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.replace(port_file + ".tmp", port_file)

    while time.monotonic() < deadline:
        listener.settimeout(max(0.1, deadline - time.monotonic()))
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            break
        conn.settimeout(max(0.1, deadline - time.monotonic()))
        threading.Thread(target=serve, args=(conn, a.dir, deadline), daemon=True).start()


if __name__ == "__main__":
    main()
