#!/usr/bin/env python3
"""Reads refscope-cli's TSV, CSV and JSON Lines back with Python's own csv and json readers: every
format must hold the same records, of every kind of byte a list may hold. (tst_cli shows that the
JSON Lines hold the records as the loader reads them.)
Usage: cli_readback.py path/to/refscope-cli"""
import csv
import io
import json
import subprocess
import sys
import tempfile

cli = sys.argv[1]
lists = {
    "datarefs": b"2\r\nsim/\xff\xfe/bad\tfloat\ty\t\xe2\x82\tcut\r\n"
                b"sim/nul\tin\x00t\tn\tx\r\nsim/\"q\"\\b\tint\tn\t\x1b[31m\tA,\"b\"\r\n"
                b"sim/cr\tint\ty\tu\tline\rfeed\r\nsim/t\tint\ty\tu\td\te1\te2\r\n"
                b"sim/wide\tfloat\ty\t\xc2\xb0C\t\xe6\xb8\xa9\xe5\xba\xa6 \xf0\x9f\x9b\xab\n"
                b"sim/c1\xc2\x9b2J\tint\ty\tu\tdesc\xc2\x85next\xe2\x80\xa8line\xe2\x80\xa9\n",
    "commands": b"sim/x/go Go, \"now\"\nsim/x/\xc3 Bad byte\nsim/x/quote \"\n",
}
failures = 0


def run(path, fmt):
    done = subprocess.run([cli, "show", path, "--format", fmt], capture_output=True, check=True)
    return done.stdout.decode("utf-8")  # strictly: every format is UTF-8


def tsv_clean(text):
    # Text and TSV show a control character (C0, DEL, C1) or a line or paragraph separator as U+FFFD.
    return "".join("\ufffd" if ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F or c in "\u2028\u2029" else c for c in text)


for name, content in lists.items():
    with tempfile.NamedTemporaryFile(suffix=".txt") as f:
        f.write(content)
        f.flush()
        # Lines end at line feeds only: JSON keeps NEL and the separators as they are.
        objects = [json.loads(line) for line in run(f.name, "jsonl").split("\n")[:-1]]
        keys = ["path", "type", "writable", "units", "description"] if name == "datarefs" else ["path", "description"]
        from_json = [[o[k] for k in keys] + o.get("extra", []) for o in objects]
        from_csv = list(csv.reader(io.StringIO(run(f.name, "csv"), newline="")))
        from_tsv = [line.split("\t") for line in run(f.name, "tsv").split("\n")[:-1]]
        checks = {
            "csv header": from_csv[0] == (["Data ref", "Type", "Writable", "Units", "Description"]
                                          if name == "datarefs" else ["Command", "Description"]),
            "csv rows": from_csv[1:] == from_json,
            "tsv rows": from_tsv[1:] == [[tsv_clean(c) for c in row] for row in from_json],
            "records": len(from_json) == content.count(b"\n") - (name == "datarefs"),
        }
        for check, ok in checks.items():
            print(("ok" if ok else "FAIL"), name, check)
            failures += not ok
        if not checks["csv rows"]:
            print(" json:", from_json, "\n csv: ", from_csv[1:])
sys.exit(1 if failures else 0)
