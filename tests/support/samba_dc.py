#!/usr/bin/python3
"""A private Samba Active Directory domain controller for the integration tests.

    /usr/bin/python3 samba_dc.py --cache CACHE_DIR --run RUN_DIR [--no-tls]

Provisions the domain EXAMPLE.TEST into a template under CACHE_DIR unless one made by this very
script exists already (the folder name carries a hash of this file, so editing it provisions
anew and the old template is removed), then copies the template into RUN_DIR and writes that
copy's configuration; with --no-tls, that of a DC whose administrator switched TLS off. Starting
and stopping samba is left to the caller, which owns its PID:

    setsid samba -i -s RUN_DIR/etc/smb.conf    (log on standard output)

Needs Debian's samba, python3-samba and openssl, and runs as root like samba itself. Run it with
Debian's /usr/bin/python3: another python3 first on PATH cannot import the samba modules.
"""

import argparse
import base64
import fcntl
import hashlib
import os
import shutil
import socket
import subprocess
import sys
import time

REALM = "EXAMPLE.TEST"
DOMAIN = "EXAMPLE"
BASE_DN = "DC=example,DC=test"
PEOPLE_DN = "OU=People," + BASE_DN
USERS_DN = "CN=Users," + BASE_DN
MAIL_DOMAIN = "example.test"
ADMIN_PASSWORD = "Adm7-admin-pass!"

# Accounts the tests bind as, all in CN=Users. Each refused one provokes one AD diagnostic.
ACCOUNTS = ["reader", "disabled", "expired", "mustchange", "lockedout", "pwexpired"]


def password(account):
    return "Rd7-%s-pass!" % account


# AD's "never" for maxPwdAge and lockoutDuration; a lockout that never ends keeps `lockedout`
# locked however old the template is, while a threshold of 0 locks nobody else out.
NEVER = "-9223372036854775808"
# 2020-01-01T00:00:00Z as a FILETIME: long past, so expiry is not a matter of timing.
LONG_AGO = "132223104000000000"
DAY = 864000000000  # 100 ns ticks

FIRST_NAMES = [
    "Aaron", "Beatrice", "Carlos", "Diana", "Edgar", "Fiona", "George", "Hannah", "Ivan",
    "Julia", "Kevin", "Laura", "Martin", "Nadia", "Oscar", "Paula", "Quentin", "Rita", "Simon",
    "Tara", "Ulrich", "Vera", "Walter", "Xenia", "Yusuf", "Zelda", "Albert", "Bianca", "Conrad",
    "Doris", "Elias", "Frieda", "Gustav", "Helga", "Ingrid", "Jonas", "Karin", "Lukas", "Mona",
    "Nils",
]
LAST_NAMES = [
    "Adams", "Baker", "Clark", "Davis", "Evans", "Fischer", "Garcia", "Hall", "Irwin", "Jones",
    "King", "Lewis", "Meyer", "Nolan", "Olsen", "Parker", "Quinn", "Reed", "Schulz", "Turner",
    "Underwood", "Vogel", "Walker", "Young", "Zimmer", "Abbott", "Becker", "Carter", "Dixon",
    "Engel", "Foster", "Graham", "Hoffmann", "Jensen", "Keller", "Lang", "Moreno", "Novak",
    "Ortiz", "Price", "Richter", "Stone", "Torres", "Vance", "Weber", "Wolf", "Yates",
]
# Names a directory search must survive: non-ASCII, one with a comma in its RDN, some without
# a mail address. (name, mail local part or None)
SPECIAL = [
    ("Émile Zola", "emile.zola"),
    ("Jürgen Müller", "juergen.mueller"),
    ("Anna Müller", "anna.mueller"),
    ("Müller Lüdenscheidt", None),
    ("Ole Ødegaard", "ole.oedegaard"),
    ("Søren Kierkegaard", "soeren.kierkegaard"),
    ("Åsa Åström", "asa.astrom"),
    ("José Núñez", "jose.nunez"),
    ("Łukasz Żółć", "lukasz.zolc"),
    ("François Dupré", None),
    ("Günther Groß", "guenther.gross"),
    ("Дмитрий Иванов", "dmitri.ivanov"),
    ("山田 太郎", "taro.yamada"),
    ("Smith, John", "john.smith"),
]
PEOPLE_COUNT = 3000
SMITHS = 1100  # "Smith 0001".."Smith 1100": with the Smits, more than one page of 1,000
SMITS = 40


def log(message):
    print(message, flush=True)


def run(args, **kwargs):
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            **kwargs)
    if result.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s" % (" ".join(args), result.returncode,
                                                     result.stdout[-4000:]))
    return result.stdout


def write(path, text, mode=0o644):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(path, mode)


def smb_conf(root, tls=True):
    # Everything samba writes stays under root; no shares, no DNS, no forwarder: the tests talk
    # LDAP (389, 636, 3268, 3269) and Kerberos (88, 464) on 127.0.0.1 and nothing else.
    # "ldap server require strong auth" stays at its default (yes) on purpose: the tests expect
    # a plain simple bind to be refused as a hardened DC refuses it. A DC without TLS cannot
    # keep that default, or nothing but Kerberos could sign in; it opens neither 636 nor 3269.
    if tls:
        transport = """\ttls enabled = yes
\ttls keyfile = {r}/dc.key
\ttls certfile = {r}/dc.pem
\ttls cafile = {r}/ca.pem
"""
    else:
        transport = "\ttls enabled = no\n\tldap server require strong auth = no\n"
    return """[global]
\tnetbios name = DC1
\tworkgroup = {domain}
\trealm = {realm}
\tserver role = active directory domain controller
\tserver services = ldap, kdc
\tinterfaces = 127.0.0.1
\tbind interfaces only = yes
\tprivate dir = {r}/private
\tlock directory = {r}
\tstate directory = {r}/state
\tcache directory = {r}/cache
\tpid directory = {r}
\tbinddns dir = {r}/bind-dns
\tncalrpc dir = {r}/ncalrpc
\tlog level = 1 auth_audit:5
""".format(domain=DOMAIN, realm=REALM, r=root) + transport.format(r=root)


def krb5_conf():
    # No DNS look-ups of any kind: the KDC is named, and the service name is what libldap asks
    # for (the DC has SPNs for this machine's names, see add_host_spns).
    return """[libdefaults]
\tdefault_realm = {realm}
\tdns_lookup_kdc = false
\tdns_lookup_realm = false
\trdns = false
\tdns_canonicalize_hostname = false
[realms]
\t{realm} = {{
\t\tkdc = 127.0.0.1
\t\tadmin_server = 127.0.0.1
\t}}
[domain_realm]
\t.example.test = {realm}
\texample.test = {realm}
""".format(realm=REALM)


def make_certificates(d):
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    ca = ["-addext", "basicConstraints=critical,CA:TRUE",
          "-addext", "keyUsage=critical,keyCertSign,cRLSign"]
    days = ["-days", "3650"]  # the template outlives many test runs
    run(["openssl", "req", "-x509"] + ec + days + ca + [
        "-keyout", d + "/ca.key", "-out", d + "/ca.pem", "-subj", "/CN=orvane test CA"])
    # A CA that signed nothing, for tests that must fail verification.
    run(["openssl", "req", "-x509"] + ec + days + ca + [
        "-keyout", d + "/other-ca.key", "-out", d + "/other-ca.pem",
        "-subj", "/CN=orvane other CA"])
    run(["openssl", "req"] + ec + ["-keyout", d + "/dc.key", "-out", d + "/dc.csr",
                                   "-subj", "/CN=dc1.example.test"])
    # Neither "localhost" nor this machine's name: connecting by those must fail the name check.
    write(d + "/dc.ext", "subjectAltName=IP:127.0.0.1,DNS:dc1.example.test,DNS:DC1.EXAMPLE.TEST\n"
          "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
          "extendedKeyUsage=serverAuth\n")
    run(["openssl", "x509", "-req", "-in", d + "/dc.csr", "-CA", d + "/ca.pem", "-CAkey",
         d + "/ca.key", "-CAcreateserial", "-out", d + "/dc.pem"] + days
        + ["-extfile", d + "/dc.ext"])
    os.chmod(d + "/dc.key", 0o600)  # samba refuses a key file others can read
    for leftover in ("dc.csr", "dc.ext", "ca.srl"):
        os.remove(os.path.join(d, leftover))


def people():
    """Every seeded person as (name, mail or None), deterministic, sorted by case-folded name."""
    result = [(name, local and local + "@" + MAIL_DOMAIN) for name, local in SPECIAL]
    result += [("Smith %04d" % i, "smith.%04d@%s" % (i, MAIL_DOMAIN)) for i in
               range(1, SMITHS + 1)]
    result += [("Smits %02d" % i, "smits.%02d@%s" % (i, MAIL_DOMAIN)) for i in
               range(1, SMITS + 1)]
    pairs = ((first, last) for last in LAST_NAMES for first in FIRST_NAMES)
    while len(result) < PEOPLE_COUNT:
        first, last = next(pairs)
        result.append(("%s %s" % (first, last),
                       "%s.%s@%s" % (first.lower(), last.lower(), MAIL_DOMAIN)))
    # About one in nine without a mail address, spread over every kind of name.
    result = [(name, None if i % 9 == 5 and name != "Smith, John" else mail)
              for i, (name, mail) in enumerate(result)]
    return sorted(result, key=lambda p: (p[0].casefold(), p[0]))


def rdn_escape(value):
    escaped = "".join("\\" + c if c in ',+"\\<>;=' else c for c in value)
    if escaped.startswith(("#", " ")):
        escaped = "\\" + escaped
    return escaped[:-1] + "\\ " if escaped.endswith(" ") else escaped


def ldif_line(attribute, value):
    if value.isascii() and not value.startswith((" ", ":", "<")):
        return "%s: %s\n" % (attribute, value)
    return "%s:: %s\n" % (attribute, base64.b64encode(value.encode()).decode())


def open_samdb(root):
    from samba.auth import system_session
    from samba.param import LoadParm
    from samba.samdb import SamDB
    lp = LoadParm()
    lp.load(root + "/etc/smb.conf")
    return SamDB(url=lp.samdb_url(), session_info=system_session(), lp=lp)


def seed(root):
    samdb = open_samdb(root)
    samdb.transaction_start()
    try:
        # Nobody gets locked out by failed binds (threshold 0), passwords never expire, and a
        # lockout set by hand lasts forever: the template stays usable for years.
        samdb.modify_ldif("dn: %s\nchangetype: modify\nreplace: maxPwdAge\nmaxPwdAge: %s\n"
                          "-\nreplace: minPwdAge\nminPwdAge: 0\n-\nreplace: lockoutDuration\n"
                          "lockoutDuration: %s\n-\nreplace: lockoutThreshold\n"
                          "lockoutThreshold: 0\n" % (BASE_DN, NEVER, NEVER))
        for account in ACCOUNTS:
            samdb.newuser(account, password(account), userou="CN=Users",
                          force_password_change_at_next_login_req=account == "mustchange")
        samdb.setexpiry("(sAMAccountName=reader)", 0, no_expiry_req=True)
        samdb.disable_account("(sAMAccountName=disabled)")
        modify = "dn: CN=%s,%s\nchangetype: modify\nreplace: %s\n%s: %s\n"
        samdb.modify_ldif(modify % ("expired", USERS_DN, "accountExpires", "accountExpires",
                                    LONG_AGO))
        samdb.modify_ldif(modify % ("lockedout", USERS_DN, "lockoutTime", "lockoutTime",
                                    LONG_AGO))
        # The only account whose password can expire: a password settings object with a
        # maximum age of two days applies to it alone (its pwdLastSet is moved back later).
        samdb.add_ldif("dn: CN=expiring,CN=Password Settings Container,CN=System,%s\n"
                       "objectClass: msDS-PasswordSettings\n"
                       "msDS-PasswordSettingsPrecedence: 1\n"
                       "msDS-PasswordReversibleEncryptionEnabled: FALSE\n"
                       "msDS-PasswordHistoryLength: 0\nmsDS-PasswordComplexityEnabled: TRUE\n"
                       "msDS-MinimumPasswordLength: 7\nmsDS-MinimumPasswordAge: 0\n"
                       "msDS-MaximumPasswordAge: %d\nmsDS-LockoutThreshold: 0\n"
                       "msDS-LockoutObservationWindow: -18000000000\n"
                       "msDS-LockoutDuration: -18000000000\n"
                       "msDS-PSOAppliesTo: CN=pwexpired,%s\n" % (BASE_DN, -2 * DAY, USERS_DN))
        # GSSAPI clients that connect to 127.0.0.1 ask for a service name of their own.
        samdb.modify_ldif("dn: CN=DC1,OU=Domain Controllers,%s\nchangetype: modify\n"
                          "add: servicePrincipalName\nservicePrincipalName: ldap/localhost\n"
                          % BASE_DN)

        ldif = ["dn: %s\nobjectClass: organizationalUnit\nou: People\n" % PEOPLE_DN]
        rows = []
        for i, (name, mail) in enumerate(people()):
            dn = "CN=%s,%s" % (rdn_escape(name), PEOPLE_DN)
            entry = ldif_line("dn", dn) + "objectClass: user\n" + ldif_line("cn", name)
            entry += "sAMAccountName: p%05d\n" % (i + 1) + ldif_line("displayName", name)
            if mail:
                entry += "mail: %s\n" % mail
            ldif.append(entry)
            rows.append("%s\t%s\t%s\n" % (name, mail or "", dn))
        samdb.add_ldif("\n".join(ldif))
    except BaseException:
        samdb.transaction_cancel()
        raise
    samdb.transaction_commit()
    write(root + "/people.tsv", "".join(rows))
    return len(rows)


def age_password(root):
    # pwdLastSet only takes 0 or -1 through the directory's own checks, so it is written
    # straight into the domain partition, with no samba running.
    import ldb
    db = ldb.Ldb()
    db.connect("%s/private/sam.ldb.d/%s.ldb" % (root, BASE_DN.upper()), flags=0)
    message = ldb.Message(ldb.Dn(db, "CN=pwexpired," + USERS_DN))
    message["pwdLastSet"] = ldb.MessageElement(LONG_AGO, ldb.FLAG_MOD_REPLACE, "pwdLastSet")
    db.modify(message)


def provision(template):
    started = time.monotonic()
    partial = template + ".partial"
    shutil.rmtree(partial, ignore_errors=True)
    run(["samba-tool", "domain", "provision", "--targetdir=" + partial, "--realm=" + REALM,
         "--domain=" + DOMAIN, "--server-role=dc", "--dns-backend=SAMBA_INTERNAL",
         "--host-name=dc1", "--adminpass=" + ADMIN_PASSWORD,
         "--option=interfaces = 127.0.0.1", "--option=bind interfaces only = yes"])
    # Provisioning copied the resolver's name server in as "dns forwarder": replaced outright.
    write(partial + "/etc/smb.conf", smb_conf(partial))
    make_certificates(partial)
    count = seed(partial)
    age_password(partial)
    write(partial + "/README", "Template of a private test domain controller, made by %s.\n"
          "Copied for every run; never started here.\n" % os.path.abspath(__file__))
    os.rename(partial, template)
    log("provisioned %s with %d people in %.1f s" % (template, count,
                                                      time.monotonic() - started))


def host_names():
    names = {socket.gethostname()}
    try:
        names.add(socket.gethostbyname_ex(socket.gethostname())[0])
    except OSError:
        pass
    names.add(socket.getfqdn())
    return sorted(n for n in names if n and n != "localhost")


def add_host_spns(root):
    # libldap names a loopback peer by this machine's own name (gethostname, resolved), so a
    # GSSAPI bind to 127.0.0.1 asks for ldap/<that name>. The name differs between machines,
    # hence added per run rather than in the template.
    samdb = open_samdb(root)
    dn = "CN=DC1,OU=Domain Controllers," + BASE_DN
    have = {str(v).lower() for v in samdb.search(dn, scope=0, attrs=["servicePrincipalName"])[0]
            .get("servicePrincipalName", [])}
    wanted = [spn for spn in ("ldap/" + n for n in host_names()) if spn.lower() not in have]
    if wanted:
        samdb.modify_ldif("dn: %s\nchangetype: modify\nadd: servicePrincipalName\n" % dn
                          + "".join("servicePrincipalName: %s\n" % spn for spn in wanted))


def prepare_run(template, run_dir, tls):
    os.makedirs(run_dir, exist_ok=True)
    if os.listdir(run_dir):
        raise RuntimeError("run folder %s is not empty" % run_dir)
    run(["cp", "-a", template + "/.", run_dir])
    # smb.conf is the only file of a provisioned DC that names its folder.
    write(run_dir + "/etc/smb.conf", smb_conf(run_dir, tls))
    write(run_dir + "/krb5.conf", krb5_conf())
    write(run_dir + "/ldap.conf", "TLS_CACERT %s/ca.pem\nTLS_REQCERT demand\n" % run_dir)
    add_host_spns(run_dir)


def template_for(cache):
    with open(os.path.abspath(__file__), "rb") as f:
        key = hashlib.sha256(f.read()).hexdigest()[:16]
    return os.path.join(cache, "samba-dc-" + key)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cache", required=True, help="folder that keeps the template")
    parser.add_argument("--run", required=True, help="empty folder for this run's copy")
    parser.add_argument("--no-tls", action="store_true",
                        help="the copy runs without TLS and takes a plain simple bind")
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("samba_dc.py: must run as root (samba binds ports 88 and 389)")
    for tool in ("samba", "samba-tool", "openssl"):
        if shutil.which(tool) is None:
            sys.exit("samba_dc.py: %s is not installed (Debian packages samba, openssl)" % tool)

    cache = os.path.abspath(args.cache)
    os.makedirs(cache, exist_ok=True)
    template = template_for(cache)
    # One provisioning at a time; others wait and then use its template.
    with open(os.path.join(cache, "samba-dc.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.isdir(template):
            for entry in os.listdir(cache):
                if entry.startswith("samba-dc-") and entry != os.path.basename(template):
                    shutil.rmtree(os.path.join(cache, entry), ignore_errors=True)
            provision(template)
    started = time.monotonic()
    prepare_run(template, os.path.abspath(args.run), not args.no_tls)
    log("copied %s to %s in %.1f s" % (template, args.run, time.monotonic() - started))


if __name__ == "__main__":
    try:
        main()
    except Exception as error:  # a message for the test's log, not a traceback
        sys.exit("samba_dc.py: %s" % error)
