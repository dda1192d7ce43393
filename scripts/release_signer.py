#!/usr/bin/env python3
"""Names the certificate that made an Authenticode signature (a PKCS#7 file in PEM, as
"osslsigncode extract-signature -pem" writes it): the one whose issuer and serial the
signature's signer names, among those it carries. Prints "subject=..." and
"sha256=..." (the certificate's SHA-256 fingerprint, colon-separated hex).
Usage: release_signer.py SIGNATURE"""
import re
import subprocess
import sys


def openssl(args, data=None):
    return subprocess.run(["openssl"] + args, input=data, capture_output=True, text=True,
                          check=True).stdout


def main():
    signature = sys.argv[1]
    dump = openssl(["pkcs7", "-in", signature, "-print", "-noout"])
    match = re.search(r"signer_info:.*?issuer_and_serial:\s*issuer: (.*?)\n\s*serial: 0x([0-9A-F]+)",
                      dump, re.S)
    if not match:
        sys.exit("release_signer.py: no signer in " + signature)
    serial = match.group(2).lstrip("0")
    certificates = re.findall(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----",
                              openssl(["pkcs7", "-in", signature, "-print_certs"]), re.S)
    for certificate in certificates:
        fields = openssl(["x509", "-noout", "-serial", "-subject", "-fingerprint", "-sha256",
                          "-nameopt", "RFC2253"], certificate)
        if re.search(r"^serial=0*%s$" % serial, fields, re.M | re.I):
            subject = re.search(r"^subject=(.*)$", fields, re.M).group(1)
            fingerprint = re.search(r"Fingerprint=(.*)$", fields, re.M).group(1)
            print("subject=%s\nsha256=%s" % (subject.strip(), fingerprint.strip()))
            return
    sys.exit("release_signer.py: the signer's certificate is not in " + signature)


if __name__ == "__main__":
    main()
