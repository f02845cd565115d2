#!/usr/bin/env python3
"""Makes the Debian changelog and the AppStream release list from the release notes (NEWS.md).

Usage: release-notes.py NEWS.md PACKAGE VERSION MAINTAINER CHANGELOG METAINFO_IN METAINFO

VERSION is the package's version (0.9.0~beta); the newest entry of the notes must be that version, so
that no release goes out without its notes. METAINFO_IN is the metainfo file with a line holding
RELEASES_MARKER, which becomes the <releases> element in METAINFO.
"""
import datetime
import email.utils
import re
import sys
import textwrap
from xml.sax.saxutils import escape

RELEASES_MARKER = "<!-- releases from NEWS.md -->"
HEADING = re.compile(r"^## (\d+\.\d+\.\d+)(?: ((?:alpha|beta|rc)\d*))? \((\d{4}-\d{2}-\d{2})\)$")


def fail(path, number, message):
    sys.exit(f"{path}:{number}: {message}")


def read_releases(path):
    """Returns [(debian version, is prerelease, date, [item text])], newest first."""
    releases = []
    with open(path, encoding="utf-8") as notes:
        for number, line in enumerate(notes, 1):
            line = line.rstrip()
            if line.startswith("## "):
                match = HEADING.match(line)
                if not match:
                    fail(path, number, "a release heading reads '## 1.2.3 beta (YYYY-MM-DD)'")
                numbers, word, day = match.groups()
                version = f"{numbers}~{word}" if word else numbers
                date = datetime.date.fromisoformat(day)
                releases.append((version, word is not None, date, []))
            elif not releases or not line:
                continue
            elif line.startswith("- "):
                releases[-1][3].append(line[2:].strip())
            elif line.startswith("  ") and releases[-1][3]:
                releases[-1][3][-1] += " " + line.strip()
            else:
                fail(path, number, "a release lists its changes as '- ' items")
    for version, _, _, items in releases:
        if not items:
            sys.exit(f"{path}: release {version} lists no changes")
    return releases


def changelog(package, maintainer, releases):
    entries = []
    for version, _, date, items in releases:
        lines = [f"{package} ({version}) unstable; urgency=medium", ""]
        for item in items:
            lines += textwrap.wrap(item.replace("`", ""), width=78, initial_indent="  * ",
                                   subsequent_indent="    ", break_long_words=False,
                                   break_on_hyphens=False)
        stamp = datetime.datetime.combine(date, datetime.time(), datetime.timezone.utc)
        lines += ["", f" -- {maintainer}  {email.utils.format_datetime(stamp)}"]
        entries.append("\n".join(lines) + "\n")
    return "\n".join(entries)


def inline_xml(text):
    # Backquoted text becomes <code>, the one markup the notes use.
    parts = escape(text).split("`")
    return "".join(f"<code>{part}</code>" if i % 2 else part for i, part in enumerate(parts))


def releases_xml(releases):
    lines = ["  <releases>"]
    for version, prerelease, date, items in releases:
        kind = ' type="development"' if prerelease else ""
        lines += [f'    <release version="{version}" date="{date.isoformat()}"{kind}>',
                  "      <description>", "        <ul>"]
        lines += [f"          <li>{inline_xml(item)}</li>" for item in items]
        lines += ["        </ul>", "      </description>", "    </release>"]
    lines.append("  </releases>")
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) != 8:
        sys.exit(__doc__)
    news, package, version, maintainer, changelog_path, metainfo_in, metainfo = sys.argv[1:]
    releases = read_releases(news)
    if not releases or releases[0][0] != version:
        newest = releases[0][0] if releases else "none"
        sys.exit(f"{news}: the newest release is {newest}, the package is {version}: "
                 f"add the release's entry at the top")

    with open(changelog_path, "w", encoding="utf-8") as out:
        out.write(changelog(package, maintainer, releases))

    with open(metainfo_in, encoding="utf-8") as template:
        text = template.read()
    if text.count(RELEASES_MARKER) != 1:
        sys.exit(f"{metainfo_in}: needs one line with {RELEASES_MARKER}")
    text = re.sub(r"^[ \t]*" + re.escape(RELEASES_MARKER) + r"\n", lambda _: releases_xml(releases),
                  text, flags=re.M)
    with open(metainfo, "w", encoding="utf-8") as out:
        out.write(text)


main()
