"""Reads header fields the way a mail reader does, with Python's own email package.

Input, one JSON object a line: {"kind": "subject" | "display_name" | "file_name" |
"encoded_words", "header": "<the header lines, latin-1>"}. Output, one JSON object a line:
the decoded values, or {"error": "..."}.
"""
import json
import re
import sys
from email import policy
from email.header import decode_header, make_header
from email.parser import BytesParser
from email.utils import parseaddr


def unstructured(header):
    value = header.split(":", 1)[1].rstrip("\r\n")
    value = re.sub(r"\r\n(?=[ \t])", "", value)
    return {"text": str(make_header(decode_header(value.strip())))}


def parse(header):
    return BytesParser(policy=policy.default).parsebytes(header.encode("latin-1") + b"\r\n")


def display_name(header):
    # The classic reader: policy.default's address parser puts a space between adjacent
    # encoded words of a name, which RFC 2047 section 6.2 says to drop.
    value = re.sub(r"\r\n(?=[ \t])", "", header.split(":", 1)[1].rstrip("\r\n"))
    name, address = parseaddr(value)
    return {"text": str(make_header(decode_header(name))), "address": address}


def file_name(header):
    message = parse(header)
    return {"text": message.get_filename(), "name": message["Content-Type"].params.get("name")}


READERS = {"subject": unstructured, "encoded_words": unstructured,
           "display_name": display_name, "file_name": file_name}

for line in sys.stdin:
    request = json.loads(line)
    try:
        result = READERS[request["kind"]](request["header"])
    except Exception as error:  # reported to the test, which names the input
        result = {"error": repr(error)}
    print(json.dumps(result), flush=True)
