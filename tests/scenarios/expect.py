#!/usr/bin/env python3
"""Writes NAME.expected.jsonl for scenario files from the expectations written under each event.

Each event line of a scenario may be followed by comment lines that start with "#=", stating
what the host should see when it runs:

    #= eat -1            the eat flag after the call (required for chat, status and type)
    #= print TEXT        one line printed with colour 5, target 1
    #= banner            print "Murl! version: @VERSION@" (the runner fills in the version)
    #= help              the banner, then the home-page line
    #= stats E R Z       the three "Output Stats" lines
    #= failed TEXT       the failure the plug-in handed back to the host

The echo of the event's own arguments follows the transcript rules and needs no annotation.

    expect.py FILE.scenario...           write FILE.expected.jsonl beside each
    expect.py --check FILE.scenario...   report files whose expected transcript is out of date
"""

import json
import sys
from pathlib import Path

HOME_PAGE = "https://murl.example.org/"
BANNER = "Murl! version: @VERSION@"

TEXT_VERBS = {"identity1", "identity2", "status", "type"}
VERDICT_VERBS = {"chat", "status", "type"}


def units_of(text):
    """UTF-16 code units of a Python str (which may hold lone surrogates as code points)."""
    units = []
    for ch in text:
        cp = ord(ch)
        if cp >= 0x10000:
            cp -= 0x10000
            units += [0xD800 + (cp >> 10), 0xDC00 + (cp & 0x3FF)]
        else:
            units.append(cp)
    return units


def read_text(raw):
    """TEXT as the scenario language reads it, as UTF-16 code units."""
    if not raw.startswith(b'"'):
        return units_of(raw.decode("utf-8", "surrogatepass"))
    assert raw.endswith(b'"') and len(raw) >= 2, raw
    body = raw[1:-1]
    units, i, run = [], 0, bytearray()
    simple = {ord('"'): 0x22, ord("\\"): 0x5C, ord("t"): 9, ord("n"): 10, ord("r"): 13}
    while i < len(body):
        b = body[i]
        if b != 0x5C:
            run.append(b)
            i += 1
            continue
        units += units_of(run.decode("utf-8", "surrogatepass"))
        run = bytearray()
        e = body[i + 1]
        if e in simple:
            units.append(simple[e])
            i += 2
        else:
            assert e == ord("u"), raw
            units.append(int(body[i + 2:i + 6], 16))
            i += 6
    units += units_of(run.decode("utf-8", "surrogatepass"))
    return units


def code_points(units):
    """The code points of UTF-16 `units`: each surrogate pair as one, a lone surrogate as itself."""
    i = 0
    while i < len(units):
        u = units[i]
        if 0xD800 <= u <= 0xDBFF and i + 1 < len(units) and 0xDC00 <= units[i + 1] <= 0xDFFF:
            yield 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00)
            i += 2
        else:
            yield u
            i += 1


def is_surrogate(cp):
    return 0xD800 <= cp <= 0xDFFF


def json_string(units):
    out = ['"']
    short = {0x22: '\\"', 0x5C: "\\\\", 0x0A: "\\n", 0x0D: "\\r", 0x09: "\\t", 0x08: "\\b",
             0x0C: "\\f"}
    for cp in code_points(units):
        if is_surrogate(cp):
            out.append("\uFFFD")  # a lone surrogate; the units member carries it
        elif cp in short:
            out.append(short[cp])
        elif cp < 0x20:
            out.append("\\u%04X" % cp)
        else:
            out.append(chr(cp))
    out.append('"')
    return "".join(out)


def member(key, units):
    """"key":STRING, and "keyUnits":[...] with the exact code units where the text holds a
    lone surrogate, which the string shows as U+FFFD."""
    text = '"%s":%s' % (key, json_string(units))
    if has_lone_surrogate(units):
        text += ',"%sUnits":[%s]' % (key, ",".join(str(u) for u in units))
    return text


def has_lone_surrogate(units):
    return any(is_surrogate(cp) for cp in code_points(units))


def printed_line(text):
    return '{%s,"colour":5,"target":1}' % member("text", units_of(text))


def expected_lines(path):
    lines = Path(path).read_bytes().split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    records = []
    current = None
    for number, line in enumerate(lines, 1):
        if line.endswith(b"\r"):
            line = line[:-1]
        if number == 1 and line.startswith(b"\xef\xbb\xbf"):
            line = line[3:]
        stripped = line.lstrip(b" \t")
        if stripped.startswith(b"#="):
            assert current is not None, f"{path}:{number}: expectation before any event"
            word, _, rest = stripped[2:].strip(b" ").partition(b" ")
            word = word.decode()
            rest = rest.decode("utf-8", "surrogatepass")
            if word == "eat":
                current["eat"] = int(rest)
            elif word == "print":
                current["printed"].append(printed_line(rest))
            elif word == "banner":
                current["printed"].append(printed_line(BANNER))
            elif word == "help":
                current["printed"].append(printed_line(BANNER))
                current["printed"].append(
                    printed_line("See " + HOME_PAGE + " for the latest version"))
            elif word == "stats":
                e, r, z = rest.split()
                current["printed"] += [printed_line("Melee evades = " + e),
                                       printed_line("Resists = " + r),
                                       printed_line("Zero damage hits = " + z)]
            elif word == "failed":
                current["failed"] = rest
            else:
                raise SystemExit(f"{path}:{number}: unknown expectation {word!r}")
            continue
        if not stripped or stripped.startswith(b"#"):
            continue
        verb_word, _, args = stripped.partition(b" ")
        verb = verb_word.decode().removesuffix("@eat")
        current = {"line": number, "verb": verb, "args": args, "has_args": b" " in stripped,
                   "printed": [], "eat": None, "failed": None}
        records.append(current)

    out = []
    for r in records:
        verb, args = r["verb"], r["args"]
        fields = ['"line":%d' % r["line"], '"event":"%s"' % verb]
        if verb == "chat":
            colour, _, text = args.partition(b" ")
            fields.append('"colour":%d' % int(colour))
            fields.append(member("text", read_text(text)))
        elif verb in TEXT_VERBS:
            fields.append(member("text", read_text(args)))
        elif verb == "check":
            name, state = args.decode().split(" ")
            fields += ['"name":"%s"' % name, '"state":"%s"' % state]
        elif verb in ("hit", "accept"):
            fields.append('"name":"%s"' % args.decode())
        elif verb in ("fault", "missing"):
            parts = args.decode().split(" ")
            if len(parts) > 1:
                fields.append('"name":"%s"' % parts[1])
            fields.append('"operation":"%s"' % parts[0])
        where = f'{path}:{r["line"]}'
        if verb in VERDICT_VERBS:
            assert r["eat"] is not None, f"{where}: {verb} needs an eat expectation"
            fields.append('"bEat":%d' % r["eat"])
        else:
            assert r["eat"] is None, f"{where}: {verb} has no eat flag"
        fields.append('"printed":[' + ",".join(r["printed"]) + "]")
        if r["failed"] is not None:
            fields.append(member("failed", units_of(r["failed"])))
        out.append("{" + ",".join(fields) + "}\n")
    return "".join(out)


def main(argv):
    check = argv[:1] == ["--check"]
    stale = 0
    for name in argv[1:] if check else argv:
        scenario = Path(name)
        stem = scenario.name.removesuffix(".scenario")
        if scenario.with_name(stem + ".stderr.expected").exists():
            continue  # does not parse: no transcript
        target = scenario.with_name(stem + ".expected.jsonl")
        text = expected_lines(scenario)
        if check:
            if not target.exists() or target.read_text(encoding="utf-8",
                                                       errors="surrogatepass") != text:
                print(f"{target}: out of date", file=sys.stderr)
                stale += 1
        else:
            target.write_bytes(text.encode("utf-8", "surrogatepass"))
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
