#!/usr/bin/env python3
"""Checks that every #include "folder/..." in src/ follows src/include-rules.txt.

Prints one line per violation (the file, the include and the rule it breaks)
and exits with 1 when there is any.
"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
src = root / "src"
rules_file = src / "include-rules.txt"

rules = {}
for number, line in enumerate(rules_file.read_text().splitlines(), 1):
    line = line.split("#", 1)[0].strip()
    if not line:
        continue
    folder, _, allowed = line.partition(":")
    rules[folder.strip()] = (set(allowed.split()), number)

include = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
violations = []
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp") or not path.is_file():
        continue
    parts = path.relative_to(src).parts
    if len(parts) < 2:
        continue
    folder = parts[0]
    portable = "win32" not in parts[1:-1]
    shown = path.relative_to(root).as_posix()
    if folder not in rules:
        violations.append(f"{shown}: folder '{folder}' has no line in src/include-rules.txt")
        continue
    allowed, number = rules[folder]
    for text in path.read_text(errors="replace").splitlines():
        m = include.match(text)
        if not m or "/" not in m.group(1):
            continue
        target = m.group(1).split("/")
        if target[0] != folder and target[0] not in allowed:
            may = " ".join(sorted(allowed)) or "nothing else"
            violations.append(f'{shown}: #include "{m.group(1)}" breaks the rule '
                              f'"{folder}: {may}" (src/include-rules.txt line {number})')
        elif portable and "win32" in target[1:-1]:
            violations.append(f'{shown}: #include "{m.group(1)}": portable code never includes a win32/ header')

for v in violations:
    print(v)
if violations:
    print(f"include rules: {len(violations)} violation(s)")
    sys.exit(1)
print("include rules: every include follows src/include-rules.txt")
