#!/usr/bin/env python3
"""Usage: SOURCE_DATE_EPOCH=SECONDS scripts/make-zip.py TREE TOP ZIP

Writes every file under TREE into ZIP as TOP/<path in TREE>, so that the same files and the same
SOURCE_DATE_EPOCH give the same bytes on any machine, in any folder, at any time: entries sorted
by path, each dated SOURCE_DATE_EPOCH (read as UTC, so the time zone does not count), with fixed
permissions (0755 for .exe, 0644 otherwise, whatever the umask gave the tree), no extra fields,
deflated at level 9. ZIP stores no time zone and no date before 1980.
"""
import os
import sys
import time
import zipfile


def fail(message):
    print(f"make-zip: {message}", file=sys.stderr)
    sys.exit(1)


def entry_time():
    text = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not text.isdigit():
        fail("SOURCE_DATE_EPOCH must be whole seconds since 1970 (the last commit's: git log -1 --format=%ct)")
    stamp = time.gmtime(int(text))
    if not 1980 <= stamp.tm_year <= 2107:
        fail(f"SOURCE_DATE_EPOCH {text} lies in {stamp.tm_year}; a zip can date its entries 1980 to 2107 only")
    return stamp[:6]


def tree_files(tree):
    files = []
    for folder, _, names in os.walk(tree):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                fail(f"{path} is not a plain file")
            files.append(os.path.relpath(path, tree).replace(os.sep, "/"))
    if not files:
        fail(f"no files under {tree}")
    return sorted(files)


def main():
    if len(sys.argv) != 4:
        fail("usage: SOURCE_DATE_EPOCH=SECONDS scripts/make-zip.py TREE TOP ZIP")
    tree, top, out = sys.argv[1:]
    date_time = entry_time()
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in tree_files(tree):
            entry = zipfile.ZipInfo(f"{top}/{name}", date_time)
            entry.create_system = 3  # Unix, so that the permissions below are read as such
            mode = 0o755 if name.endswith(".exe") else 0o644
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(tree, name), "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(partial, out)


if __name__ == "__main__":
    main()
