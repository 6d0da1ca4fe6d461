#!/usr/bin/python3
"""The user's part of an OAuth 2.0 sign-in, played as a browser would against the tests'
authorization server (provider.mjs and its development login and consent pages).

  user_agent.py browse URL --login LOGIN [--decline] [--state STATE]
      Opens the authorization URL, signs in as LOGIN and consents (or cancels at the login
      page with --decline), then follows the provider's last redirect to the program's
      loopback listener (RFC 8252 section 7.3), with its state replaced by STATE if given, and
      prints the page the listener answered.
  user_agent.py device BASE_URL USER_CODE --login LOGIN [--decline]
      The device flow's user part (RFC 8628 section 3.3): enters the user code at
      BASE_URL/device, confirms (or aborts with --decline), signs in and consents.
  user_agent.py revoke BASE_URL CLIENT_ID < TOKEN
      Revokes a token at the provider's revocation endpoint (RFC 7009), as the client would.

Exit status: 0 when all went as asked (browse: the listener answered 2xx or 3xx), 1 when the
listener answered with an error status, 3 on anything unexpected, 2 on a usage error. What went
wrong goes to stderr.
Standard library only, run with /usr/bin/python3; it never uses a proxy: everything it talks to
is on 127.0.0.1.
"""
import argparse
import html
import http.cookiejar
import json
import re
import sys
import urllib.error
import urllib.parse
import urllib.request
from html.parser import HTMLParser

# Provider pages the user goes through before the redirect back to the program: a login, a
# consent, and for the device flow two more. More than this is a loop.
MAX_STEPS = 12
MAX_REDIRECTS = 20
TIMEOUT_SECONDS = 30


class Unexpected(Exception):
    """Something a person would have noticed: a page or answer that is not the next step."""


def report(message):
    print("user_agent.py: " + message, file=sys.stderr)


def text_of(page, limit=600):
    """The words of a page, for messages."""
    text = re.sub(r"(?s)<(style|script)\b.*?</\1>", " ", page)
    text = html.unescape(re.sub(r"<[^>]+>", " ", text))
    text = " ".join(text.split())
    return text if len(text) <= limit else text[:limit] + "..."


class Forms(HTMLParser):
    """The forms of a page with their fields, the submit buttons (which may stand outside the
    form they submit, by form="id"), and the links."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.forms = []
        self.links = []
        self._current = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "form":
            self._current = {"id": a.get("id"), "action": a.get("action") or "",
                             "method": (a.get("method") or "get").lower(), "fields": {},
                             "buttons": []}
            self.forms.append(self._current)
        elif tag in ("input", "button"):
            form = self._owner(a)
            if form is None or not a.get("name") and tag == "input":
                return
            kind = (a.get("type") or ("submit" if tag == "button" else "text")).lower()
            if kind == "submit":
                form["buttons"].append((a.get("name"), a.get("value") or ""))
            else:
                form["fields"][a["name"]] = a.get("value") or ""
        elif tag == "a" and a.get("href"):
            self.links.append(a["href"])

    def handle_endtag(self, tag):
        if tag == "form":
            self._current = None

    def _owner(self, a):
        if a.get("form"):
            return next((f for f in self.forms if f["id"] == a["form"]), None)
        return self._current


class Page:
    def __init__(self, url, status, body):
        self.url = url
        self.status = status
        self.body = body
        parser = Forms()
        parser.feed(body)
        self.forms = parser.forms
        self.links = [urllib.parse.urljoin(url, link) for link in parser.links]

    def form_with(self, name, value=None):
        for form in self.forms:
            if name in form["fields"] and (value is None or form["fields"][name] == value):
                return form
        return None

    def describe(self):
        return "%s answered %d: %s" % (self.url, self.status, text_of(self.body))


class NoRedirects(urllib.request.HTTPRedirectHandler):
    """Each redirect is followed by hand, to see where it leads before going there."""

    def redirect_request(self, req, fp, code, msg, headers, newurl):
        return None


def origin(url):
    parts = urllib.parse.urlsplit(url)
    return (parts.scheme, parts.netloc)


class UserAgent:
    def __init__(self):
        self.opener = urllib.request.build_opener(
            urllib.request.ProxyHandler({}),
            urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()),
            NoRedirects())

    def request(self, url, fields=None):
        """One request, no redirect followed: (status, Location or None, body)."""
        data = urllib.parse.urlencode(fields).encode() if fields is not None else None
        request = urllib.request.Request(url, data=data)
        try:
            with self.opener.open(request, timeout=TIMEOUT_SECONDS) as response:
                return response.status, response.headers.get("Location"), self._body(response)
        except urllib.error.HTTPError as e:
            return e.code, e.headers.get("Location"), self._body(e)
        except (urllib.error.URLError, OSError) as e:
            raise Unexpected("%s: %s" % (url, getattr(e, "reason", e)))

    @staticmethod
    def _body(response):
        charset = response.headers.get_content_charset() or "utf-8"
        return response.read().decode(charset, "replace")

    def go(self, url, fields=None, home=None):
        """Opens url (POSTs fields if given) and follows redirects while they stay at home (an
        origin); returns the Page reached, or the URL of a redirect that leaves home."""
        for _ in range(MAX_REDIRECTS):
            status, location, body = self.request(url, fields)
            if status not in (301, 302, 303, 307, 308) or not location:
                return Page(url, status, body)
            location = urllib.parse.urljoin(url, location)
            if home is not None and origin(location) != home:
                return location
            url, fields = location, None
        raise Unexpected("more than %d redirects, the last to %s" % (MAX_REDIRECTS, url))

    def submit(self, page, form, button=None, **values):
        fields = dict(form["fields"])
        fields.update(values)
        if button:
            fields[button[0]] = button[1]
        action = urllib.parse.urljoin(page.url, form["action"] or page.url)
        if form["method"] != "post":
            raise Unexpected("form %s is not posted: %s" % (action, page.describe()))
        return action, fields


def sign_in_steps(agent, page, login, decline, home):
    """Goes through the provider's login and consent pages until a redirect leaves home (its
    URL is returned) or a page that is neither comes (returned as it is)."""
    for _ in range(MAX_STEPS):
        if not isinstance(page, Page):
            return page
        login_form = page.form_with("prompt", "login")
        consent_form = page.form_with("prompt", "consent")
        if login_form is None and consent_form is None:
            return page
        if decline:
            abort = next((link for link in page.links if link.endswith("/abort")), None)
            if abort is None:
                raise Unexpected("no Cancel link on " + page.describe())
            page = agent.go(abort, home=home)
        elif login_form is not None:
            # The development login takes any password.
            action, fields = agent.submit(page, login_form, login=login, password="password")
            page = agent.go(action, fields, home=home)
        else:
            action, fields = agent.submit(page, consent_form)
            page = agent.go(action, fields, home=home)
    raise Unexpected("still on the provider's pages after %d steps" % MAX_STEPS)


def browse(url, login, decline, state):
    agent = UserAgent()
    home = origin(url)
    reached = sign_in_steps(agent, agent.go(url, home=home), login, decline, home)
    if isinstance(reached, Page):
        raise Unexpected("no redirect back to the program: " + reached.describe())
    target = reached
    if state is not None:
        parts = urllib.parse.urlsplit(target)
        query = [(k, state if k == "state" else v)
                 for k, v in urllib.parse.parse_qsl(parts.query, keep_blank_values=True)]
        target = urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query)))
    status, location, body = agent.request(target)
    if location:
        body = body or "(redirect to %s)" % location
    sys.stdout.write(body)
    sys.stdout.flush()
    if 200 <= status < 400:
        report("browse: the program's listener took %s and answered %d" % (target, status))
        return 0
    report("browse: the program's listener answered %d to %s: %s" % (status, target, text_of(body)))
    return 1


def device(base_url, user_code, login, decline):
    agent = UserAgent()
    home = origin(base_url)
    page = agent.go(urllib.parse.urljoin(base_url, "/device"), home=home)
    if not isinstance(page, Page) or page.form_with("xsrf") is None:
        raise Unexpected("no user code form at %s/device" % base_url)
    action, fields = agent.submit(page, page.form_with("xsrf"), user_code=user_code)
    page = agent.go(action, fields, home=home)
    # The confirmation form; a wrong or expired code brings the input form back instead.
    confirm = next((f for f in page.forms if "confirm" in (f["id"] or "").lower()), None) \
        if isinstance(page, Page) else None
    if confirm is None:
        raise Unexpected("the user code %s was not taken: %s" % (
            user_code, page.describe() if isinstance(page, Page) else page))
    if decline:
        abort = next((b for b in confirm["buttons"] if b[0] == "abort"), None)
        if abort is None:
            raise Unexpected("no Abort button on " + page.describe())
        action, fields = agent.submit(page, confirm, button=abort)
        page = agent.go(action, fields, home=home)
    else:
        action, fields = agent.submit(page, confirm, confirm="yes")
        page = agent.go(action, fields, home=home)
        page = sign_in_steps(agent, page, login, False, home)
    if not isinstance(page, Page):
        raise Unexpected("the device flow left the provider for " + page)
    words = text_of(page.body)
    expected = "interrupted" if decline else "Sign-in Success"
    if page.status != 200 or expected not in words:
        raise Unexpected("the device flow ended on an unexpected page: " + page.describe())
    print(words)
    report("device: %s for %s (%s)" % ("declined" if decline else "approved", user_code, login))
    return 0


def revoke(base_url, client_id, token):
    agent = UserAgent()
    status, _, body = agent.request(
        urllib.parse.urljoin(base_url, "/.well-known/openid-configuration"))
    if status != 200:
        raise Unexpected("no discovery document at %s: %d" % (base_url, status))
    endpoint = json.loads(body).get("revocation_endpoint")
    if not endpoint:
        raise Unexpected("%s names no revocation endpoint" % base_url)
    status, _, body = agent.request(endpoint, {"token": token, "client_id": client_id})
    if status != 200:
        raise Unexpected("revocation answered %d: %s" % (status, text_of(body)))
    report("revoke: %s revoked a token" % client_id)
    return 0


def main(argv):
    parser = argparse.ArgumentParser(prog="user_agent.py")
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("browse")
    p.add_argument("url")
    p.add_argument("--login", required=True)
    p.add_argument("--decline", action="store_true")
    p.add_argument("--state")
    p = commands.add_parser("device")
    p.add_argument("base_url")
    p.add_argument("user_code")
    p.add_argument("--login", required=True)
    p.add_argument("--decline", action="store_true")
    p = commands.add_parser("revoke")
    p.add_argument("base_url")
    p.add_argument("client_id")
    a = parser.parse_args(argv)
    if a.command == "browse":
        return browse(a.url, a.login, a.decline, a.state)
    if a.command == "device":
        return device(a.base_url, a.user_code, a.login, a.decline)
    return revoke(a.base_url, a.client_id, sys.stdin.read().strip())


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except Unexpected as e:
        report(str(e))
        sys.exit(3)
