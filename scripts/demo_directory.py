"""The demo directory as LDIF on standard output: the suffix, one ordinary user the program signs
in as, and ou=people with one person for each given name and surname below (360), the same on
every run. Every seventh person has no mail address.

    demo_directory.py o=ORGANIZATION READER_DN READER_PASSWORD
"""
import base64
import sys
import unicodedata

GIVEN = ["Anna", "Ahmet", "Björn", "Chloé", "Daniel", "Émilie", "Fatima", "Grzegorz", "Hannah",
         "Ingrid", "José", "Jürgen", "Katarzyna", "Lars", "Léa", "Mateo", "Noémie", "Ólafur",
         "Oliver", "Paweł", "Sofía", "Thomas", "Zoë", "Żaneta"]
SURNAMES = ["Müller", "Nowak", "García", "Jónsdóttir", "Smith", "Kowalczyk", "Dubois",
            "Johansson", "Rossi", "Novák", "Øberg", "Schröder", "Fernández", "Yılmaz", "Brennan"]

# Letters that NFKD does not take apart into a base letter and an accent.
SPELLED = str.maketrans({"ł": "l", "ø": "o", "ı": "i", "ß": "ss", "æ": "ae", "ð": "d", "þ": "th"})


def ascii_part(name):
    plain = unicodedata.normalize("NFKD", name.lower().translate(SPELLED))
    return "".join(c for c in plain if c.isascii() and c.isalnum())


def line(attribute, value):
    # RFC 2849: a value that is not plain ASCII goes base64-encoded, after "::".
    if value.isascii():
        return "%s: %s" % (attribute, value)
    return "%s:: %s" % (attribute, base64.b64encode(value.encode()).decode())


def entry(dn, *attributes):
    return "\n".join([line("dn", dn)] + [line(a, v) for a, v in attributes]) + "\n"


def main():
    suffix, reader, password = sys.argv[1:4]
    entries = [
        entry(suffix, ("objectClass", "organization"), ("o", suffix.split("=", 1)[1])),
        entry(reader, ("objectClass", "inetOrgPerson"), ("cn", reader.split(",")[0].split("=")[1]),
              ("sn", "Reader"), ("userPassword", password)),
        entry("ou=people," + suffix, ("objectClass", "organizationalUnit"), ("ou", "people")),
    ]
    number = 0
    for surname in SURNAMES:
        for given in GIVEN:
            cn = "%s %s" % (given, surname)
            attributes = [("objectClass", "inetOrgPerson"), ("cn", cn), ("sn", surname),
                          ("givenName", given)]
            if number % 7 != 6:
                mail = "%s.%s@demo.test" % (ascii_part(given), ascii_part(surname))
                attributes.append(("mail", mail))
            entries.append(entry("cn=%s,ou=people,%s" % (cn, suffix), *attributes))
            number += 1
    sys.stdout.write("\n".join(entries))


if __name__ == "__main__":
    main()
