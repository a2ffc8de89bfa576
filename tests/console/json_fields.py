#!/usr/bin/env python3
"""ukavlen --json output as the console tests compare it.

json_fields.py MANUAL FILE events|messages

Every line of FILE must parse with json and carry the fields that the
manual's JSON LINES section lists for its event, in that order, and start
must name that section's schema number. Prints the events but the messages,
one per line ("device path=... number=1 ..."), the progress lines of a
stage folded into its last one (their blocks done must grow), or the
messages' texts joined.
"""
import json
import re
import sys


def schema(manual):
    with open(manual, encoding="utf-8") as f:
        text = f.read()
    section = re.search(r"^\.SH JSON LINES, SCHEMA (\d+)\n(.*?)^\.SH ", text, re.S | re.M)
    table = re.search(r"^\.EX\n(.*?)^\.EE", section.group(2), re.S | re.M).group(1)
    fields = {}
    for line in table.splitlines():
        name, *keys = line.split()
        fields[name] = keys
    return int(section.group(1)), fields


def check(obj, keys, where):
    present = [k for k in obj if not k.endswith("_escaped")]
    want = [k.strip("[]") for k in keys if not k.startswith("[") or k.strip("[]") in obj]
    if present != want:
        sys.exit(f"{where}: fields {present}, the manual lists {want}")


def value(v):
    return v if isinstance(v, str) else json.dumps(v, separators=(",", ":"))


def main(manual, path, mode):
    number, fields = schema(manual)
    events, texts, last = [], [], None
    with open(path, "rb") as f:
        lines = f.read().decode("utf-8").split("\n")
    if lines[-1] != "":
        sys.exit("the output does not end with a line feed")
    for n, line in enumerate(lines[:-1], 1):
        obj = json.loads(line)
        name = obj.get("event")
        if name not in fields:
            sys.exit(f"line {n}: event {name!r} is not in the manual")
        check(obj, ["event"] + fields[name], f"line {n}")
        if "mismatch" in obj:
            check(obj["mismatch"], fields["mismatch"], f"line {n} mismatch")
        if name == "start" and obj["schema"] != number:
            sys.exit(f"line {n}: schema {obj['schema']}, the manual describes {number}")
        if name == "message":
            texts.append(obj["text"])
            continue
        # a stage's progress lines, as many as its pace gave, fold into its last one
        if name == "progress" and last is not None and last["stage"] == obj["stage"]:
            if obj["total"] != last["total"] or obj["done"] <= last["done"]:
                sys.exit(f"line {n}: progress {obj} after {last}")
            events.pop()
        last = obj if name == "progress" else None
        events.append(" ".join([name] + [f"{k}={value(v)}" for k, v in obj.items() if k != "event"]))
    if not events or not events[0].startswith("start ") or not events[-1].startswith("result "):
        sys.exit("start is not first or result not last")
    sys.stdout.write("".join(texts) if mode == "messages" else "\n".join(events) + "\n")


if __name__ == "__main__":
    main(*sys.argv[1:4])
