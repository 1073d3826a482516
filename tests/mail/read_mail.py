#!/usr/bin/python3
"""Reads one stored mail with Python's email parser, as a reader independent
of the client that wrote it, and reports what it found as JSON on stdout:
the header fields in order, the boundary, every leaf part (content type,
transfer encoding, file name, decoded text for text parts) and the parser's
defects. Decoded attachment bytes go to OUTDIR/part-<index>.bin.

usage: read_mail.py MESSAGE.eml OUTDIR
"""
import email
import email.policy
import json
import os
import sys


def main():
    path, outdir = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.compat32)
    report = {
        "headers": [[k, v] for k, v in msg.items()],
        "multipart": msg.is_multipart(),
        "boundary": msg.get_boundary(),
        "defects": [type(d).__name__ for d in msg.defects],
        "preamble": msg.preamble,
        "parts": [],
    }
    leaves = list(msg.walk()) if msg.is_multipart() else [msg]
    index = 0
    for part in leaves:
        if part.is_multipart():
            continue
        report["defects"] += [type(d).__name__ for d in part.defects]
        entry = {
            "content_type": part.get_content_type(),
            "charset": part.get_param("charset"),
            "encoding": part.get("Content-Transfer-Encoding"),
            "filename": part.get_filename(),
            "disposition": part.get("Content-Disposition"),
        }
        payload = part.get_payload(decode=True) or b""
        if part.get_content_maintype() == "text":
            entry["text"] = payload.decode("ascii", errors="replace")
        else:
            out = os.path.join(outdir, "part-%d.bin" % index)
            with open(out, "wb") as f:
                f.write(payload)
            entry["file"] = out
        report["parts"].append(entry)
        index += 1
    json.dump(report, sys.stdout)


if __name__ == "__main__":
    main()
