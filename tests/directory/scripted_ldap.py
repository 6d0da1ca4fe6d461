"""A scripted LDAPv3 server for the directory's fault tests (RFC 4511 over BER).

It answers simple binds, searches of the root DSE, StartTLS (refused: no certificate) and
searches with the paged-results control (RFC 2696,
1.2.840.113556.1.4.319) and the server-side sort controls (RFC 2891, request
1.2.840.113556.1.4.473, response 1.2.840.113556.1.4.474), then misbehaves as the scenario says:

  normal            pages of the size the client asks for, a new cookie on each
  bind-refused      the bind fails with 49 and Active Directory's diagnostic text (52e)
  bind-locked       the same for a locked-out account (775)
  bind-strong       the bind fails with 8, as Samba refuses a password without TLS
  bind-confidential the bind fails with 13 (confidentiality required)
  drop-after-page   serves the first page, then hangs up when the second is asked for
  stall-after-page  serves the first page, then never answers the second
  stall-first-page  accepts the bind, never answers the search
  no-paging         every entry at once, and no paging control in the result
  same-cookie       every page but the last carries the same cookie, as Samba's do
  repeat-page       the first page again for every cookie, which is always the same
  cycle-cookie      cookies go A, B, A: the third page is the second again
  references        a continuation reference (SearchResultReference) after every 100 entries
  referral          the entries and a reference, then a referral result (code 10)
  busy-page         answers the request for the second page twice with 51 (busy), as slapd's
                    sort overlay does while it still holds the page before, then serves it
  busy-forever      answers every request for the second page with 51 (busy)
  starttls-hangup   takes StartTLS, then closes the connection without a word, as Samba does
                    with TLS switched off; its root DSE does not list StartTLS
  starttls-hangup-listed  the same, with StartTLS listed in the root DSE
  starttls-silent   takes StartTLS, then never answers the TLS handshake
  silent            accepts connections and never answers anything
  tls-garbage       answers the TLS handshake with bytes that are not TLS, then closes

--entries N gives the size of the result (entries "Person 0000" ... with mail addresses);
--sorts makes the server sort by name and say so with the sort response control; without it
the sort request is ignored and the entries come in a shuffled order. Connections are served
one thread each. Every request is logged to --log as a JSON line before it is answered, so a
test that has its answer can read the log. The port goes to --port-file (written atomically)
once the server listens, and the server ends by itself after --lifetime seconds.
"""
import argparse
import json
import os
import random
import socket
import threading

from pyasn1.codec.ber import decoder, encoder
from pyasn1.type import namedtype, tag, univ
from pyasn1_modules import rfc2251

PAGED_RESULTS = "1.2.840.113556.1.4.319"
SORT_REQUEST = "1.2.840.113556.1.4.473"
SORT_RESPONSE = "1.2.840.113556.1.4.474"
START_TLS = "1.3.6.1.4.1.1466.20037"
AD_BIND_DIAGNOSTIC = ("80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, "
                      "data %s, v4563\0")  # Active Directory ends its text with a NUL
# The bind refusals by scenario: result code and diagnostic, as Active Directory and Samba word
# them.
BIND_REFUSALS = {
    "bind-refused": (49, AD_BIND_DIAGNOSTIC % "52e"),
    "bind-locked": (49, AD_BIND_DIAGNOSTIC % "775"),
    "bind-strong": (8, "BindSimple: Transport encryption required."),
    "bind-confidential": (13, "00002028: LdapErr: DSID-0C090259, comment: The server requires "
                              "binds to turn on integrity checking"),
}
BASE = "OU=People,DC=fault,DC=test"
# Bounds that turn a client which loops or waits for ever into a quick test failure: more
# searches than this on one connection are answered by hanging up, and a stalled connection is
# closed after this many seconds.
SEARCH_CAP = 10
STALL_LIMIT = 10


class PagedResultsValue(univ.Sequence):  # RFC 2696 section 2
    componentType = namedtype.NamedTypes(
        namedtype.NamedType("size", univ.Integer()),
        namedtype.NamedType("cookie", univ.OctetString()))


class SortKey(univ.Sequence):  # RFC 2891 section 1.1
    componentType = namedtype.NamedTypes(
        namedtype.NamedType("attributeType", univ.OctetString()),
        namedtype.OptionalNamedType("orderingRule", univ.OctetString().subtype(
            implicitTag=tag.Tag(tag.tagClassContext, tag.tagFormatSimple, 0))),
        namedtype.DefaultedNamedType("reverseOrder", univ.Boolean(False).subtype(
            implicitTag=tag.Tag(tag.tagClassContext, tag.tagFormatSimple, 1))))


class SortKeyList(univ.SequenceOf):
    componentType = SortKey()


class SortResult(univ.Sequence):  # RFC 2891 section 1.2
    componentType = namedtype.NamedTypes(
        namedtype.NamedType("sortResult", univ.Enumerated()),
        namedtype.OptionalNamedType("attributeType", univ.OctetString().subtype(
            implicitTag=tag.Tag(tag.tagClassContext, tag.tagFormatSimple, 0))))


def ber_length(n):
    if n < 0x80:
        return bytes([n])
    raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(raw)]) + raw


def tlv(tag_byte, payload):
    return bytes([tag_byte]) + ber_length(len(payload)) + payload


def octets(text):
    return tlv(0x04, text.encode())


def entry_message(msgid, dn, attributes):
    # Entries are written with this small BER writer rather than pyasn1, which takes about
    # 0.4 ms an entry; the tests ask for thousands. check_entry_writer() holds it to rfc2251.
    attrs = b"".join(tlv(0x30, octets(name) + tlv(0x31, b"".join(octets(v) for v in values)))
                     for name, values in attributes)
    op = tlv(0x64, octets(dn) + tlv(0x30, attrs))  # [APPLICATION 4] SearchResultEntry
    return tlv(0x30, encoder.encode(univ.Integer(msgid)) + op)


def check_entry_writer():
    raw = entry_message(7, "CN=x", [("mail", ["a@b"])])
    decoded, rest = decoder.decode(raw, asn1Spec=rfc2251.LDAPMessage())
    entry = decoded["protocolOp"]["searchResEntry"]
    assert not rest and int(decoded["messageID"]) == 7 and str(entry["objectName"]) == "CN=x"
    assert str(entry["attributes"][0]["vals"][0]) == "a@b"


def message(msgid, op_name, op, controls=()):
    m = rfc2251.LDAPMessage()
    m["messageID"] = msgid
    m["protocolOp"].setComponentByName(op_name, op)
    if controls:
        listed = m.setComponentByName("controls").getComponentByName("controls")
        for oid, value in controls:
            control = rfc2251.Control()
            control["controlType"] = oid
            control["controlValue"] = value
            listed.append(control)
    return encoder.encode(m)


def result(op_class, code, text="", referral=()):
    op = op_class()
    op["resultCode"] = code
    op["matchedDN"] = ""
    op["errorMessage"] = text
    if referral:
        urls = op.setComponentByName("referral").getComponentByName("referral")
        for url in referral:
            urls.append(url)
    return op


def read_message(conn, buffer):
    """One whole BER element from the socket, or None when the client has gone."""
    while True:
        if len(buffer) >= 2:
            first = buffer[1]
            header = 2 + (first & 0x7F if first & 0x80 else 0)
            if len(buffer) >= header:
                length = first if not first & 0x80 else int.from_bytes(buffer[2:header], "big")
                if len(buffer) >= header + length:
                    element = bytes(buffer[:header + length])
                    del buffer[:header + length]
                    return element
        chunk = conn.recv(65536)
        if not chunk:
            return None
        buffer.extend(chunk)


def op_tag(element):
    # The operation follows the outer SEQUENCE header and the message ID; rfc2251 describes
    # the abandon request wrongly, so abandon and unbind are recognised by their tags.
    first = element[1]
    at = 2 + (first & 0x7F if first & 0x80 else 0)
    at += 2 + element[at + 1]
    return element[at]


class Server:
    def __init__(self, args):
        self.args = args
        self.log_lock = threading.Lock()
        self.log_file = open(args.log, "a", buffering=1)
        names = ["Person %04d" % i for i in range(args.entries)]
        if not args.sorts:
            random.Random(args.entries).shuffle(names)
        self.entries = [("CN=%s,%s" % (n, BASE), n, n.replace(" ", "").lower() + "@fault.test")
                        for n in names]
        self.port = 0

    def log(self, **event):
        with self.log_lock:
            self.log_file.write(json.dumps(event) + "\n")

    def serve(self, conn):
        self.log(event="connect")
        state = {"pages": 0, "sent": 0}
        buffer = bytearray()
        with conn:
            if self.args.scenario in ("silent", "tls-garbage"):
                self.ignore(conn, self.args.scenario == "tls-garbage")
                return
            while True:
                try:
                    element = read_message(conn, buffer)
                except socket.timeout:
                    self.log(event="stall-limit")
                    return
                if element is None:
                    self.log(event="closed")
                    return
                kind = op_tag(element)
                if kind == 0x42:  # [APPLICATION 2] UnbindRequest
                    self.log(event="unbind")
                    return
                if kind == 0x50:  # [APPLICATION 16] AbandonRequest
                    self.log(event="abandon")
                    continue
                request, _ = decoder.decode(element, asn1Spec=rfc2251.LDAPMessage())
                msgid = int(request["messageID"])
                op = request["protocolOp"]
                if op.getName() == "bindRequest":
                    conn.sendall(self.bind(msgid, op["bindRequest"]))
                elif op.getName() == "extendedReq":
                    self.log(event="extended", name=str(op["extendedReq"]["requestName"]))
                    if self.args.scenario.startswith("starttls-"):
                        conn.sendall(message(msgid, "extendedResp", result(
                            rfc2251.ExtendedResponse, 0)))
                        if self.args.scenario == "starttls-silent":
                            self.ignore(conn, False)
                        else:
                            self.log(event="hangup")
                        return
                    # As a server without a certificate answers StartTLS (RFC 4511 4.14.2).
                    conn.sendall(message(msgid, "extendedResp", result(
                        rfc2251.ExtendedResponse, 52, "TLS is not configured")))
                elif op.getName() == "searchRequest":
                    if not self.search(conn, msgid, request, state):
                        return
                else:
                    self.log(event="unexpected", op=op.getName())

    def ignore(self, conn, garbage):
        """Reads what the client sends and never answers it (or answers with garbage)."""
        conn.settimeout(STALL_LIMIT)
        try:
            while conn.recv(65536):
                if garbage:
                    self.log(event="garbage")
                    conn.sendall(b"HTTP/1.1 400 Bad Request\r\n\r\n")
                    return
                self.log(event="stall")
        except (socket.timeout, OSError):
            pass

    def bind(self, msgid, bind):
        password = bytes(bind["authentication"]["simple"])
        self.log(event="bind", name=str(bind["name"]), passwordLength=len(password))
        if self.args.scenario in BIND_REFUSALS:
            code, text = BIND_REFUSALS[self.args.scenario]
            return message(msgid, "bindResponse", result(rfc2251.BindResponse, code, text))
        return message(msgid, "bindResponse", result(rfc2251.BindResponse, 0))

    def search(self, conn, msgid, request, state):
        """Answers one search request; False when the connection is to end."""
        search = request["protocolOp"]["searchRequest"]
        page_size, cookie, sort_keys = 0, b"", None
        if request["controls"].isValue:
            for control in request["controls"]:
                oid = str(control["controlType"])
                value = bytes(control["controlValue"])
                if oid == PAGED_RESULTS:
                    paged, _ = decoder.decode(value, asn1Spec=PagedResultsValue())
                    page_size, cookie = int(paged["size"]), bytes(paged["cookie"])
                elif oid == SORT_REQUEST:
                    keys, _ = decoder.decode(value, asn1Spec=SortKeyList())
                    sort_keys = [str(k["attributeType"]) for k in keys]
        if str(search["baseObject"]) == "" and int(search["scope"]) == 0:
            # The root DSE, read before the bind: paging and sorting, no StartTLS.
            self.log(event="rootdse")
            listed = [("supportedExtension", [START_TLS])] \
                if self.args.scenario == "starttls-hangup-listed" else []
            conn.sendall(entry_message(msgid, "", [("supportedControl", [PAGED_RESULTS])] + listed)
                         + message(msgid, "searchResDone", result(rfc2251.SearchResultDone, 0)))
            return True
        self.log(event="search", base=str(search["baseObject"]), pageSize=page_size,
                 cookie=cookie.decode("latin-1"), sort=sort_keys,
                 attributes=[str(a) for a in search["attributes"]])

        scenario = self.args.scenario
        if state["pages"] >= SEARCH_CAP:
            self.log(event="search-cap")
            conn.shutdown(socket.SHUT_RDWR)
            return False
        if state["pages"] >= 1 and scenario == "drop-after-page":
            self.log(event="drop")
            conn.shutdown(socket.SHUT_RDWR)
            return False
        if scenario == "stall-first-page" or (
                state["pages"] >= 1 and scenario == "stall-after-page"):
            self.log(event="stall")
            conn.settimeout(STALL_LIMIT)
            return True  # keeps reading: the client abandons, unbinds or goes

        if (scenario == "busy-page" and state["pages"] == 1 and state.get("busy", 0) < 2) or (
                scenario == "busy-forever" and state["pages"] == 1):
            state["busy"] = state.get("busy", 0) + 1
            self.log(event="busy")
            conn.sendall(message(msgid, "searchResDone", result(
                rfc2251.SearchResultDone, 51, "Other sort requests already in progress.")))
            return True

        wanted = {str(a).lower() for a in search["attributes"]}
        paging = page_size > 0 and scenario not in ("no-paging", "referral")
        if scenario == "repeat-page":
            start = 0  # the server has lost its place and starts again
        elif scenario == "cycle-cookie" and cookie == b"B":
            start = page_size  # and back to the second page
        else:
            start = state["sent"]
        end = min(len(self.entries), start + page_size) if paging else len(self.entries)
        state["pages"] += 1
        last = end >= len(self.entries)
        out = []
        for i in range(start, end):
            dn, name, mail = self.entries[i]
            values = {"name": name, "cn": name, "mail": mail}
            out.append(entry_message(msgid, dn, [(a, [v]) for a, v in values.items()
                                                 if not wanted or a in wanted]))
            if scenario in ("references", "referral") and (i + 1) % 100 == 0 or (
                    scenario == "referral" and i + 1 == end):
                out.append(message(msgid, "searchResRef", self.reference()))
        state["sent"] = end

        controls = []
        if sort_keys is not None and self.args.sorts:
            sorted_ok = SortResult()
            sorted_ok["sortResult"] = 0
            controls.append((SORT_RESPONSE, encoder.encode(sorted_ok)))
        if paging:
            controls.append((PAGED_RESULTS, self.page_control(state, last)))
        if scenario == "referral":
            done = result(rfc2251.SearchResultDone, 10, "Referral", [self.elsewhere()])
        else:
            done = result(rfc2251.SearchResultDone, 0)
        out.append(message(msgid, "searchResDone", done, controls))
        conn.sendall(b"".join(out))
        return True

    def page_control(self, state, last):
        value = PagedResultsValue()
        value["size"] = 0
        if last:
            value["cookie"] = b""
        elif self.args.scenario in ("same-cookie", "repeat-page"):
            value["cookie"] = b"same"
        elif self.args.scenario == "cycle-cookie":
            value["cookie"] = b"A" if state["pages"] % 2 else b"B"
        else:
            value["cookie"] = b"next:%d" % state["sent"]
        return encoder.encode(value)

    def elsewhere(self):
        # Points back at this server under another base: a client that chases it shows up
        # in the log as a second bind and a search of that base.
        return "ldap://127.0.0.1:%d/OU=Elsewhere,DC=fault,DC=test??sub" % self.port

    def reference(self):
        ref = rfc2251.SearchResultReference()
        ref.append(self.elsewhere())
        return ref


def main():
    p = argparse.ArgumentParser()
    p.add_argument("scenario", choices=[
        "normal", *BIND_REFUSALS, "drop-after-page", "stall-after-page", "stall-first-page",
        "no-paging", "same-cookie", "repeat-page", "cycle-cookie", "references", "referral",
        "busy-page", "busy-forever", "starttls-hangup", "starttls-hangup-listed",
        "starttls-silent", "silent", "tls-garbage"])
    p.add_argument("--entries", type=int, default=0)
    p.add_argument("--sorts", action="store_true")
    p.add_argument("--port-file", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--lifetime", type=float, default=60)
    args = p.parse_args()
    check_entry_writer()

    # Ends by itself even if nobody stops it.
    timer = threading.Timer(args.lifetime, os._exit, [0])
    timer.daemon = True
    timer.start()

    server = Server(args)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    server.port = listener.getsockname()[1]
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.port))
    os.replace(args.port_file + ".tmp", args.port_file)

    while True:
        conn, _ = listener.accept()
        threading.Thread(target=server.serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
