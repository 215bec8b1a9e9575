#!/usr/bin/env python3
"""Fails when a console line the engine can print is missing from
docs/console.md.

Every Log::fail / Log::info / Log::ok call with a literal format in the
engine's folders is a console line. The guide documents it as code,
`FAIL: Class.method: text`, with every printf placeholder written as a word
of the reader's (`"NAME"`, `N`, ...) and a line break inside the message as
a blank. The check turns each format into a pattern (a placeholder matches
any text) and looks for it among the code spans of the page.
"""
import pathlib
import re
import sys

ENGINE = ["base", "resources", "render", "script", "world", "sound", "dialog", "api", "game"]
PREFIX = {"fail": "FAIL: ", "info": "INFO: ", "ok": "OK  : "}
CALL = re.compile(r'Log::(fail|info|ok)\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)')
LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
PLACEHOLDER = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z|j|t)?[diouxXeEfgGcspu%]")
ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\", "'": "'"}


def unescape(s):
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), s)


def messages(root):
    """(source place, console text with its prefix) of every literal log call."""
    found = []
    for folder in ENGINE:
        for path in sorted((root / folder).rglob("*.cpp")) + sorted((root / folder).rglob("*.h")):
            text = path.read_text(errors="replace")
            for m in CALL.finditer(text):
                fmt = unescape("".join(LITERAL.findall(m.group(2))))
                line = text.count("\n", 0, m.start()) + 1
                found.append((f"{path.relative_to(root)}:{line}",
                              PREFIX[m.group(1)] + fmt.rstrip("\n")))
    return found


def pattern(message):
    """A regex matching the message as the guide writes it."""
    out = []
    pos = 0
    for m in PLACEHOLDER.finditer(message):
        out.append(literal(message[pos:m.start()]))
        out.append("%" if m.group(0) == "%%" else ".+?")
        pos = m.end()
    out.append(literal(message[pos:]))
    return re.compile("^" + "".join(out) + "$")


def literal(text):
    # Line breaks and tabs inside a message are written as one blank.
    parts = re.split(r"[\n\t]+", text)
    return r"\s+".join(re.escape(p) for p in parts)


def spans(doc):
    return [s.strip() for s in re.findall(r"`([^`\n]+)`", doc)]


def main(root):
    root = pathlib.Path(root)
    doc_path = root / "docs" / "console.md"
    doc = doc_path.read_text() if doc_path.exists() else ""
    written = spans(doc)
    missing = []
    for place, msg in messages(root):
        rx = pattern(msg)
        if not any(rx.match(s) for s in written):
            shown = re.sub(r"[\n\t]+", " ", msg)
            missing.append((place, shown))
    if missing:
        print("docs/console.md does not document these console lines. Add each one, as code, "
              "to the section of its class (its cause and what the game maker should do), with "
              "every %-placeholder replaced by a word such as \"NAME\" or N:", file=sys.stderr)
        for place, shown in missing:
            print(f"  {place}: `{shown}`", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent))
