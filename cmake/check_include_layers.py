#!/usr/bin/env python3
"""Checks the quoted includes of the deliverables' sources against the include table.

    check_include_layers.py SOURCE_DIR [TABLE]

TABLE defaults to cmake/IncludeLayers.txt beside this script. Prints one line
"<file>:<line>: <what is wrong>" for every include against the table, every source in
a folder the table lacks, and every cycle in the table, with paths relative to
SOURCE_DIR; exits with 1 when there is any, else 0.
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]*)"')
SOURCE_SUFFIXES = ('.h', '.cpp')


def read_table(path):
    """{folder: [entry, ...]} and {folder: line number} of the table file."""
    rules, lines = {}, {}
    with open(path, encoding='utf-8') as table:
        for number, text in enumerate(table, 1):
            text = text.split('#', 1)[0].strip()
            if not text:
                continue
            folder, colon, allowed = text.partition(':')
            if not colon:
                raise SystemExit(f'{path}:{number}: a line is "folder: folders it may include"')
            rules[folder.strip()] = allowed.split()
            lines[folder.strip()] = number
    return rules, lines


def reach(rules, folder):
    """The folders and headers a folder may include: its entries, and theirs in turn."""
    folders, headers = set(), set()
    pending = [folder]
    while pending:
        for entry in rules.get(pending.pop(), []):
            if entry.endswith(SOURCE_SUFFIXES):
                headers.add(entry)
            elif entry not in folders:
                folders.add(entry)
                pending.append(entry)
    return folders, headers


def table_problems(rules, lines, table_name):
    problems = []
    for folder, entries in rules.items():
        for entry in entries:
            target = os.path.dirname(entry) if entry.endswith(SOURCE_SUFFIXES) else entry
            if target not in rules:
                problems.append(f'{table_name}:{lines[folder]}: {folder}/ lists "{entry}", '
                                'whose folder has no line')
        if folder in reach(rules, folder)[0]:
            problems.append(f'{table_name}:{lines[folder]}: {folder}/ may include itself '
                            'through the folders below it: the table has a cycle')
    return problems


def source_folders(root, rules):
    """Every folder with sources under the top folders the table names, relative to root."""
    tops = sorted({folder.split('/')[0] for folder in rules})
    for top in tops:
        for here, dirs, files in os.walk(os.path.join(root, top)):
            dirs[:] = sorted(d for d in dirs if not d.startswith('.'))
            sources = sorted(f for f in files if f.endswith(SOURCE_SUFFIXES))
            if sources:
                yield os.path.relpath(here, root).replace(os.sep, '/'), sources


def include_problems(root, rules):
    problems = []
    for folder, sources in source_folders(root, rules):
        if folder not in rules:
            problems.append(f'{folder}/{sources[0]}:1: the folder {folder}/ has no line in the include table')
            continue
        folders, headers = reach(rules, folder)
        for name in sources:
            path = f'{folder}/{name}'
            with open(os.path.join(root, path), encoding='utf-8', errors='replace') as source:
                for number, text in enumerate(source, 1):
                    match = INCLUDE.match(text)
                    if not match:
                        continue
                    header = match.group(1)
                    target = os.path.dirname(header)
                    if not target:
                        problems.append(f'{path}:{number}: "{header}" names no folder; '
                                        'includes are written "folder/Unit.h"')
                    elif target != folder and target not in folders and header not in headers:
                        problems.append(f'{path}:{number}: {folder}/ may not include "{header}"')
    return problems


def main(argv):
    if len(argv) not in (2, 3):
        raise SystemExit(__doc__)
    root = argv[1]
    table = argv[2] if len(argv) == 3 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         'IncludeLayers.txt')
    rules, lines = read_table(table)
    problems = table_problems(rules, lines, os.path.basename(table)) + include_problems(root, rules)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
