#!/usr/bin/python3
"""Fails, naming each one, when a relative link in README.md, CONTRIBUTING.md or docs/*.md leads
to no file, or to a heading that its page does not have. Links to the web are not followed:
the tests reach only this machine. Usage: check-docs.py [TREE], the tree's top by default."""
import re
import sys
import unicodedata
from pathlib import Path

LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
FENCE = re.compile(r"^(```|~~~)")
INLINE_CODE = re.compile(r"`+[^`]*`+")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")


def prose_lines(text):
    """The lines outside fenced code, with inline code blanked: links there are not links."""
    in_fence = False
    for number, line in enumerate(text.splitlines(), 1):
        if FENCE.match(line.lstrip()):
            in_fence = not in_fence
            continue
        if not in_fence:
            yield number, line


def slug(heading):
    """The anchor a heading gets, as GitHub and most renderers make it: lower case, letters,
    digits, hyphens and underscores kept (Cyrillic too), spaces turned into hyphens."""
    text = INLINE_CODE.sub(lambda code: code.group(0).strip("`"), heading)
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text).lower()
    kept = []
    for char in text:
        if char == " ":
            kept.append("-")
        elif char in "-_" or unicodedata.category(char)[0] in "LN":
            kept.append(char)
    return "".join(kept)


def anchors(page):
    found = set()
    seen = {}
    for _, line in prose_lines(page.read_text(encoding="utf-8")):
        heading = HEADING.match(line)
        if not heading:
            continue
        base = slug(heading.group(1))
        count = seen.get(base, 0)
        seen[base] = count + 1
        found.add(base if count == 0 else f"{base}-{count}")
    return found


def broken_links(page, tree):
    for number, line in prose_lines(page.read_text(encoding="utf-8")):
        for target in LINK.findall(INLINE_CODE.sub("", line)):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue
            path, _, anchor = target.partition("#")
            destination = (page.parent / path).resolve() if path else page.resolve()
            where = f"{page.relative_to(tree)}:{number}: {target}"
            if not destination.exists():
                yield f"{where}: no such file"
            elif tree.resolve() not in destination.parents and destination != tree.resolve():
                yield f"{where}: leads out of the tree"
            elif anchor and destination.suffix == ".md" and anchor not in anchors(destination):
                yield f"{where}: {destination.name} has no heading #{anchor}"


def main():
    tree = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent.parent)
    pages = [tree / "README.md", tree / "CONTRIBUTING.md", *sorted((tree / "docs").glob("*.md"))]
    problems = [f"{page.relative_to(tree)}: missing" for page in pages if not page.exists()]
    for page in pages:
        if page.exists():
            problems.extend(broken_links(page, tree))
    for problem in problems:
        print(f"docs-check: {problem}", file=sys.stderr)
    if problems:
        return 1
    print(f"docs-check: every relative link of {len(pages)} pages leads somewhere")
    return 0


if __name__ == "__main__":
    sys.exit(main())
