"""The relative links of README.md and docs/*.md under ROOT that lead
nowhere: to no file, or with a #fragment that names no heading of the
Markdown file they lead to (its anchor as GitHub makes it: lowercase,
punctuation but hyphens dropped, spaces made hyphens, a second equal
heading's anchor with -1). Links with a scheme (https:, mailto:) are not
followed; links in code are no links.

    doc_links.py ROOT    # one line per broken link, and exit 1 if any
"""
import pathlib
import re
import sys
import urllib.parse

FENCE = re.compile(r" {0,3}(`{3,}|~{3,})")
HEADING = re.compile(r" {0,3}#{1,6}[ \t]+(.*?)(?:[ \t]+#+)?[ \t]*$")
# [text](target) or [text](target "title"), the text holding one level of
# brackets at most; and a reference definition, [label]: target.
LINK = re.compile(r"\[(?:[^\[\]]|\[[^\[\]]*\])*\]\(\s*<?([^\s()<>]*)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:[ \t]*<?(\S+?)>?(?:[ \t].*)?$", re.M)


def outside_fences(path):
    """The file's text with its fenced blocks blanked, lines kept."""
    lines, fence = [], None
    for line in path.read_text(encoding="utf-8").split("\n"):
        opening = FENCE.match(line)
        if fence is None and opening:
            fence = opening.group(1)[0] * 3
        elif fence is not None and line.strip().startswith(fence):
            fence = None
        else:
            lines.append("" if fence else line)
            continue
        lines.append("")
    return "\n".join(lines)


def prose(path):
    """The text outside fenced blocks and code spans, lines kept."""
    return re.sub(r"(`+)(?!`).*?(?<!`)\1(?!`)", lambda m: "\n" * m.group(0).count("\n"), outside_fences(path),
                  flags=re.S)


def anchors(path):
    found, seen = set(), {}
    for line in outside_fences(path).split("\n"):
        heading = HEADING.match(line)
        if not heading:
            continue
        text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading.group(1))
        slug = re.sub(r"[^\w\- ]", "", text.replace("`", "").strip().lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        found.add(slug if count == 0 else f"{slug}-{count}")
    return found


def broken(root, path):
    text = prose(path)
    targets = [(m.start(1), m.group(1)) for m in LINK.finditer(text)]
    targets += [(m.start(1), m.group(1)) for m in REFERENCE.finditer(text)]
    for offset, target in sorted(targets):
        if not target or re.match(r"[A-Za-z][A-Za-z0-9+.-]*:", target):
            continue
        where = f"{path.relative_to(root)}:{text.count(chr(10), 0, offset) + 1}: {target}"
        name, _, fragment = target.partition("#")
        name = urllib.parse.unquote(name)
        leads_to = path if not name else (root / name.lstrip("/") if name.startswith("/") else path.parent / name)
        if not leads_to.exists():
            yield f"{where}: no such file"
        elif fragment and (leads_to.suffix != ".md" or urllib.parse.unquote(fragment) not in anchors(leads_to)):
            yield f"{where}: no heading '{fragment}' there"


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    files = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    faults = [fault for path in files for fault in broken(root, path)]
    print("\n".join(faults) if faults else f"every relative link of {len(files)} files leads somewhere")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
