#!/usr/bin/env python3
"""Embeds the web panels' pages into the program as UTF-16 text.

usage: embed-pages.py OUTPUT.cpp PAGE.html...

Writes one C++ source defining, for every page NAME.html, the function
qv::pages::NAME() returning the whole file as a std::u16string_view, the form
in which the browser's NavigateToString takes it.
"""
import pathlib
import sys


def literal(text):
    # Code units as hexadecimal escapes: exact for every character, and
    # unaffected by the compiler's source character set.
    units = text.encode("utf-16-le")
    words = [units[i] | (units[i + 1] << 8) for i in range(0, len(units), 2)]
    lines = []
    for start in range(0, len(words), 16):
        lines.append("    " + ", ".join(f"0x{w:04x}" for w in words[start:start + 16]) + ",")
    return "\n".join(lines)


def main():
    output = pathlib.Path(sys.argv[1])
    parts = ["// Generated from src/web/pages by scripts/embed-pages.py; do not edit.",
             "#include \"web/Pages.h\"", "", "namespace qv::pages {", ""]
    for page in sorted(pathlib.Path(p) for p in sys.argv[2:]):
        name = page.stem
        text = page.read_text(encoding="utf-8")
        parts += [f"namespace {{", f"const char16_t k{name}[] = {{", literal(text), "    0x0000,", "};",
                  "} // namespace", "",
                  f"std::u16string_view {name}() {{ return {{k{name}, sizeof(k{name}) / sizeof(char16_t) - 1}}; }}",
                  ""]
    parts += ["} // namespace qv::pages", ""]
    text = "\n".join(parts)
    if not output.exists() or output.read_text() != text:
        output.parent.mkdir(parents=True, exist_ok=True)
        output.write_text(text)


if __name__ == "__main__":
    main()
