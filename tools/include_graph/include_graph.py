#!/usr/bin/env python3
"""include_graph.py <source root>: the include graph of the programs' own
sources, as the folders by concern promise it. A unit is a header with its
source file. Checked: no circle among units, no include from a folder to one
above it or beside it, and TWInstall.h included only by the install's story
and the setup's user interface. Prints the counts; exits 1 on a violation."""
import collections
import os
import re
import sys

# Folder -> level. A folder may include its own units and those of folders
# on lower levels only; the remover stands on Machine alone, the update agent on
# the feed and Machine.
LEVELS = {
    "TW.SystemLight/Sources": 0,
    "TW.Install/Machine": 1,
    "TW.Install/Package": 1,
    "TW.Install/Transaction": 2,
    "TW.Install/Download": 3,
    "TW.Install/Update": 3,
    "TW.Install": 4,
    "TW.Remover": 5,
    "TW.Install.UI2": 5,
    "TW.Update": 5,
}
ALLOWED = {
    "TW.Remover": {"TW.Remover", "TW.Install/Machine", "TW.SystemLight/Sources"},
    "TW.Update": {"TW.Update", "TW.Install/Update", "TW.Install/Package", "TW.Install/Machine",
                  "TW.SystemLight/Sources"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
units = {}  # unit name -> folder
files = []
for folder in LEVELS:
    path = os.path.join(root, folder)
    for name in sorted(os.listdir(path)):
        stem, ext = os.path.splitext(name)
        if ext in (".h", ".cpp"):
            files.append((folder, stem, os.path.join(path, name)))
            units.setdefault(stem, folder)

edges = set()
problems = []
for folder, stem, path in files:
    for header in INCLUDE.findall(open(path, encoding="utf-8").read()):
        target = os.path.splitext(os.path.basename(header))[0]
        if target not in units or target == stem:
            continue
        to = units[target]
        edges.add((stem, target))
        allowed = ALLOWED.get(folder)
        if (allowed is not None and to not in allowed) or (
                allowed is None and to != folder and LEVELS[to] >= LEVELS[folder]):
            problems.append("%s/%s includes %s/%s.h, which is not below it" % (folder, os.path.basename(path), to, target))
        if target == "TWInstall" and folder not in ("TW.Install", "TW.Install.UI2"):
            problems.append("%s/%s includes TWInstall.h" % (folder, os.path.basename(path)))

# Circles: strongly connected components of more than one unit.
graph = collections.defaultdict(list)
for a, b in edges:
    graph[a].append(b)
index, low, stack, on_stack, circles = {}, {}, [], set(), []


def visit(node):
    index[node] = low[node] = len(index)
    stack.append(node)
    on_stack.add(node)
    for nxt in graph[node]:
        if units[nxt].startswith(("TW.Install.UI2", "TW.Remover")):
            continue
        if nxt not in index:
            visit(nxt)
            low[node] = min(low[node], low[nxt])
        elif nxt in on_stack:
            low[node] = min(low[node], index[nxt])
    if low[node] == index[node]:
        component = []
        while True:
            top = stack.pop()
            on_stack.discard(top)
            component.append(top)
            if top == node:
                break
        if len(component) > 1:
            circles.append(sorted(component))


sys.setrecursionlimit(10000)
# The engine and the foundation; the setup's window and its install thread
# talk both ways by design, through window messages.
for unit in list(units):
    if unit not in index and not units[unit].startswith(("TW.Install.UI2", "TW.Remover")):
        visit(unit)
for circle in circles:
    problems.append("circle: " + " -> ".join(circle))

between = collections.Counter((units[a], units[b]) for a, b in edges if units[a] != units[b])
print("units: %d, include edges: %d, across folders: %d, circles: %d, upward or sideways: %d" %
      (len(units), len(edges), sum(between.values()), len(circles),
       sum(1 for p in problems if "not below" in p)))
for (a, b), count in sorted(between.items()):
    print("  %-24s -> %-24s %3d" % (a, b, count))
for problem in problems:
    print("VIOLATION: " + problem)
sys.exit(1 if problems else 0)
