#!/usr/bin/python3
"""Certificates for the TLS tests, written into a folder given on the command line.

    make_test_pki.py OUT_DIR

Writes, each server certificate with its key (NAME.pem, NAME.key, PEM):
  ca.der        the test CA, to be trusted in the test Wine prefix only
  trusted       localhost and 127.0.0.1 (SAN DNS and IP), signed by the test CA
  untrusted     the same names, signed by a second CA that nobody trusts,
                followed by that CA's own certificate (the whole chain)
  leaf-only     the same certificate alone, without the CA that signed it
  expired       the same names, signed by the test CA, valid until yesterday
  wrong-name    only "wrong.example", signed by the test CA
No certificate names a CRL or OCSP responder.

Needs Debian's python3-cryptography (run with /usr/bin/python3).
"""
import datetime
import ipaddress
import sys
from pathlib import Path

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

DAY = datetime.timedelta(days=1)
SERVER_NAMES = [x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]


def new_key():
    # RSA: what every TLS stack under test verifies.
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


def name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def make_ca(common_name, now):
    key = new_key()
    cert = (x509.CertificateBuilder()
            .subject_name(name(common_name)).issuer_name(name(common_name))
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - DAY).not_valid_after(now + 30 * DAY)
            .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
            .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False,
                                         False), critical=True)
            .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()),
                           critical=False)
            .sign(key, hashes.SHA256()))
    return cert, key


def make_server(ca, key, names, not_before, not_after):
    ca_cert, ca_key = ca
    cert = (x509.CertificateBuilder()
            .subject_name(name(names[0].value))
            .issuer_name(ca_cert.subject)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(not_before).not_valid_after(not_after)
            .add_extension(x509.SubjectAlternativeName(names), critical=False)
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]),
                           critical=False)
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(
                ca_key.public_key()), critical=False)
            .sign(ca_key, hashes.SHA256()))
    return cert, key


def write_server(out, label, cert_and_key, chain=()):
    cert, key = cert_and_key
    (out / f"{label}.pem").write_bytes(b"".join(
        c.public_bytes(serialization.Encoding.PEM) for c in (cert, *chain)))
    (out / f"{label}.key").write_bytes(key.private_bytes(
        serialization.Encoding.PEM, serialization.PrivateFormat.TraditionalOpenSSL,
        serialization.NoEncryption()))


def main(out):
    out.mkdir(parents=True, exist_ok=True)
    now = datetime.datetime.now(datetime.timezone.utc)
    ca = make_ca("Pelmora Test CA", now)
    stranger = make_ca("Pelmora Untrusted CA", now)
    key = new_key()  # one server key will do: the certificates are what differ
    (out / "ca.der").write_bytes(ca[0].public_bytes(serialization.Encoding.DER))
    write_server(out, "trusted", make_server(ca, key, SERVER_NAMES, now - DAY, now + 30 * DAY))
    untrusted = make_server(stranger, key, SERVER_NAMES, now - DAY, now + 30 * DAY)
    write_server(out, "untrusted", untrusted, chain=[stranger[0]])
    write_server(out, "leaf-only", untrusted)
    write_server(out, "expired", make_server(ca, key, SERVER_NAMES, now - 10 * DAY, now - DAY))
    write_server(out, "wrong-name", make_server(ca, key, [x509.DNSName("wrong.example")],
                                                now - DAY, now + 30 * DAY))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(Path(sys.argv[1])))
