#!/usr/bin/env python3
"""Trees for the install benchmark, built from the system's own files.

    make_install_data.py new <dest> <megabytes>
        An install tree of about <megabytes> (at least 1) from /usr/include, /usr/share/doc
        and /usr/lib/x86_64-linux-gnu: up to two thirds small headers and documents, the
        rest libraries, as a real install mixes them. Regular files only; a file reached twice
        (hard links) is taken once, files over 16 MB are left out so that no single library
        decides the figures.
    make_install_data.py vary <new tree> <dest> <every>
        The same names, every <every>-th file (in name order) changed: four bytes in the
        middle inverted, or, for one changed file in 97 and for empty files, a line
        appended. Unchanged files are hard links into <new tree>, which nothing writes to.
        every=1 gives the old version (every file replaced), every=20 the 5 % update.

    make_install_data.py append <new tree> <dest>
        The same files with one byte appended to every one: the next release of a tree in
        which every file changed.

The choice is fixed (files ordered by a hash of their name), so two runs of the same size
build the same trees and the cached archives stay valid.
"""
import hashlib
import os
import shutil
import stat
import sys

SMALL_ROOTS = ["/usr/include", "/usr/share/doc"]
LIBRARY_ROOTS = ["/usr/lib/x86_64-linux-gnu"]
LARGEST = 16 * 1000 * 1000
APPENDED = b"\n# this version's copy is longer than the new one's\n"


def candidates(roots):
    seen = set()
    found = []
    for root in roots:
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                try:
                    info = os.lstat(path)
                except OSError:
                    continue
                if not stat.S_ISREG(info.st_mode) or info.st_size > LARGEST:
                    continue
                if (info.st_dev, info.st_ino) in seen or not os.access(path, os.R_OK):
                    continue
                seen.add((info.st_dev, info.st_ino))
                found.append((path, info.st_size))
    found.sort(key=lambda item: hashlib.sha1(item[0].encode("utf-8", "surrogateescape")).digest())
    return found


def take(found, budget):
    chosen, total = [], 0
    for path, size in found:
        if total >= budget:
            break
        chosen.append(path)
        total += size
    return chosen, total


def copy(path, dest):
    # Names keep their root ("usr/include/...") so the three sources cannot collide.
    target = os.path.join(dest, path.lstrip("/"))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    try:
        shutil.copy2(path, target)
        return True
    except OSError:
        # Went away or became unreadable since the walk: leave it out.
        if os.path.exists(target):
            os.unlink(target)
        return False


def make_new(dest, megabytes):
    budget = megabytes * 1000 * 1000
    small, small_bytes = take(candidates(SMALL_ROOTS), budget * 2 // 3)
    # At the default size the small files run out first; libraries make up the rest.
    libraries, _ = take(candidates(LIBRARY_ROOTS), budget - small_bytes)
    copied = sum(copy(path, dest) for path in small + libraries)
    if copied == 0:
        sys.exit("no files could be copied")


def files_in(tree):
    found = []
    for folder, _, names in os.walk(tree):
        for name in names:
            found.append(os.path.relpath(os.path.join(folder, name), tree))
    return sorted(found)


def change(path, index):
    with open(path, "r+b") as file:
        size = file.seek(0, os.SEEK_END)
        if size == 0 or index % 97 == 0:
            file.write(APPENDED)
            return
        middle = max(0, size // 2 - 2)
        file.seek(middle)
        piece = file.read(4)
        file.seek(middle)
        file.write(bytes(byte ^ 0xFF for byte in piece))


def make_variant(new_tree, dest, every):
    changed = 0
    for index, name in enumerate(files_in(new_tree)):
        source = os.path.join(new_tree, name)
        target = os.path.join(dest, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if index % every == 0:
            shutil.copy2(source, target)
            change(target, changed)
            changed += 1
        else:
            os.link(source, target)


def make_appended(new_tree, dest):
    for name in files_in(new_tree):
        target = os.path.join(dest, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(os.path.join(new_tree, name), target)
        with open(target, "ab") as file:
            file.write(b"\n")


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "new":
        make_new(sys.argv[2], max(1, int(sys.argv[3])))
    elif len(sys.argv) == 4 and sys.argv[1] == "append":
        make_appended(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 5 and sys.argv[1] == "vary":
        make_variant(sys.argv[2], sys.argv[3], max(1, int(sys.argv[4])))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
