#!/usr/bin/env python3
"""Writes and signs update manifests.

A manifest is a JSON object with the members "version", "url", "sha256" and
"notes", and a last member "signature": the ECDSA P-256 signature with SHA-256
over the manifest's exact bytes without that member, as the 64 bytes r then s
(32 bytes each, big-endian), in standard base64. The member is taken out
together with the separator before it, so the signed bytes are the manifest as
it was written before the signature was added.

  sign-manifest.py public-key KEY.pem
      prints the public key as 128 hexadecimal digits (X then Y), the form the
      build's QV_UPDATE_PUBLIC_KEY takes
  sign-manifest.py sign --key KEY.pem --version V --url U --sha256 H
                        [--notes TEXT] --out FILE
      writes the signed manifest to FILE (UTF-8, LF line ends)

The signing runs the openssl command-line program.
"""
import argparse
import base64
import json
import os
import subprocess
import sys
import tempfile


def public_key_hex(key_path):
    # SubjectPublicKeyInfo in DER ends with the uncompressed point 04 || X || Y.
    der = subprocess.run(["openssl", "ec", "-in", key_path, "-pubout", "-outform", "DER"],
                         check=True, capture_output=True).stdout
    point = der[-65:]
    if len(point) != 65 or point[0] != 4:
        raise ValueError("not a P-256 key: " + key_path)
    return point[1:].hex()


def _der_to_raw(der):
    # ECDSA-Sig-Value ::= SEQUENCE { r INTEGER, s INTEGER }; a P-256 signature
    # is short enough for one-byte lengths.
    if len(der) < 8 or der[0] != 0x30 or der[1] != len(der) - 2:
        raise ValueError("unexpected signature encoding")
    out = b""
    at = 2
    for _ in range(2):
        if der[at] != 0x02:
            raise ValueError("unexpected signature encoding")
        length = der[at + 1]
        value = der[at + 2:at + 2 + length].lstrip(b"\0")
        if len(value) > 32:
            raise ValueError("unexpected signature encoding")
        out += value.rjust(32, b"\0")
        at += 2 + length
    return out


def signature_of(data, key_path):
    """The raw r || s signature of data, base64."""
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key_path],
                         input=data, check=True, capture_output=True).stdout
    return base64.b64encode(_der_to_raw(der)).decode("ascii")


def add_signature(unsigned, signature):
    """Inserts the "signature" member as the last one of the object in
    unsigned (bytes), right after the last member, so that taking it out with
    the comma before it gives unsigned back."""
    end = unsigned.rstrip().rfind(b"}")
    if end < 0:
        raise ValueError("not a JSON object")
    last = len(unsigned[:end].rstrip())
    separator = b"" if unsigned[:last].endswith(b"{") else b","
    member = separator + b'\n  "signature": "' + signature.encode("ascii") + b'"'
    return unsigned[:last] + member + unsigned[last:]


def sign_bytes(unsigned, key_path):
    return add_signature(unsigned, signature_of(unsigned, key_path))


def manifest_text(version, url, sha256, notes):
    members = [("version", version), ("url", url), ("sha256", sha256), ("notes", notes)]
    body = ",\n".join("  %s: %s" % (json.dumps(k), json.dumps(v, ensure_ascii=False)) for k, v in members)
    return ("{\n" + body + "\n}\n").encode("utf-8")


def main(argv):
    parser = argparse.ArgumentParser(description="Writes and signs update manifests.")
    commands = parser.add_subparsers(dest="command", required=True)
    pub = commands.add_parser("public-key")
    pub.add_argument("key")
    sign = commands.add_parser("sign")
    sign.add_argument("--key", required=True)
    sign.add_argument("--version", required=True)
    sign.add_argument("--url", required=True)
    sign.add_argument("--sha256", required=True)
    sign.add_argument("--notes", default="")
    sign.add_argument("--out", required=True)
    args = parser.parse_args(argv)

    if args.command == "public-key":
        print(public_key_hex(args.key))
        return 0
    signed = sign_bytes(manifest_text(args.version, args.url, args.sha256.lower(), args.notes), args.key)
    # Written beside the target and moved over it, so a failed run leaves an
    # older manifest as it was.
    folder = os.path.dirname(os.path.abspath(args.out))
    fd, temp = tempfile.mkstemp(dir=folder, prefix=".manifest.")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(signed)
        os.replace(temp, args.out)
    except BaseException:
        os.unlink(temp)
        raise
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (subprocess.CalledProcessError, ValueError, OSError) as e:
        detail = e.stderr.decode(errors="replace").strip() if isinstance(e, subprocess.CalledProcessError) and e.stderr else str(e)
        print("sign-manifest: " + detail, file=sys.stderr)
        sys.exit(1)
