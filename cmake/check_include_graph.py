#!/usr/bin/env python3
"""Checks that the includes of the project follow its targets, one way.

Reads the manifest that cmake/include_graph.cmake writes at configure time and fails
(exit status 1, one line per finding) when:
  - a file includes a header of a target that its own target does not link;
  - the utility's targets link each other in a circle (their links are the one record
    of the layer order: a link that runs back up closes a circle);
  - a header of the utility's folders belongs to no target, or to more than one;
  - the utility's files include each other in a circle (a header and the .cpp of the
    same name count as one file).
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
# The folders of the utility itself, below the project's root.
PRODUCT_FOLDERS = {"app", "link", "isp", "image", "monitor", "format", "flags", "net"}


class Target:
    def __init__(self, name):
        self.name = name
        self.folder = None
        self.files = []
        self.links = []
        self.includes = []


def read_manifest(path):
    root = build = None
    targets = {}
    current = None
    with open(path, encoding="utf-8") as manifest:
        for line in manifest:
            key, _, value = line.rstrip("\n").partition(" ")
            if key == "root":
                root = value
            elif key == "build":
                build = value
            elif key == "target":
                current = targets.setdefault(value, Target(value))
            elif key == "folder":
                current.folder = os.path.normpath(value)
            elif key == "file":
                current.files.append(os.path.normpath(value))
            elif key == "link":
                current.links.append(value)
            elif key == "include" and value:
                current.includes.append(value)
    return root, build, targets


def link_closure(targets, name):
    seen = set()
    stack = [name]
    while stack:
        t = stack.pop()
        if t in seen or t not in targets:
            continue
        seen.add(t)
        stack.extend(targets[t].links)
    return seen


def resolve(including, header, include_dirs):
    for folder in [os.path.dirname(including)] + include_dirs:
        candidate = os.path.normpath(os.path.join(folder, header))
        if os.path.isfile(candidate):
            return candidate
    return None


def in_product(path, root):
    relative = os.path.relpath(path, root)
    return relative.split(os.sep)[0] in PRODUCT_FOLDERS


def unit(path):
    return os.path.splitext(path)[0]


def find_cycle(edges):
    """One circle of the graph as a list of nodes, or None."""
    state = {}
    path = []

    def visit(node):
        state[node] = "open"
        path.append(node)
        for successor in sorted(edges.get(node, ())):
            if state.get(successor) == "open":
                return path[path.index(successor):] + [successor]
            if successor not in state:
                found = visit(successor)
                if found:
                    return found
        path.pop()
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def is_utility(target, root):
    """A target of the utility itself: one that a folder of the utility defines."""
    return target.folder is not None and in_product(target.folder, root)


def layer_order(targets, root):
    """The utility's targets bottom first, as their links order them (each after every
    target it links); ties by name."""
    utility = {t.name for t in targets.values() if is_utility(t, root)}
    order = []
    placed = set()
    while len(placed) < len(utility):
        ready = sorted(name for name in utility - placed
                       if all(link in placed or link not in utility
                              for link in targets[name].links))
        if not ready:
            return None
        order.extend(ready)
        placed.update(ready)
    return order


def check(root, build, targets):
    findings = []
    owners = {}
    for t in targets.values():
        for f in t.files:
            owners.setdefault(f, set()).add(t.name)
    for f, names in sorted(owners.items()):
        if len(names) > 1 and f.endswith((".h", ".hpp")):
            findings.append(f"{os.path.relpath(f, root)} belongs to more than one target: "
                            + ", ".join(sorted(names)))

    utility_links = {t.name: {link for link in t.links
                              if link in targets and is_utility(targets[link], root)}
                     for t in targets.values() if is_utility(t, root)}
    circle = find_cycle(utility_links)
    if circle:
        findings.append("the utility's targets link each other in a circle: "
                        + " -> ".join(circle))

    product_edges = {}
    count = 0
    for t in sorted(targets.values(), key=lambda x: x.name):
        allowed = link_closure(targets, t.name)
        for f in t.files:
            if not os.path.isfile(f):
                continue
            with open(f, encoding="utf-8", errors="replace") as source:
                text = source.read()
            for header in INCLUDE.findall(text):
                path = resolve(f, header, t.includes)
                if path is None or not (path.startswith(root + os.sep) or
                                        path.startswith(build + os.sep)):
                    continue
                count += 1
                names = owners.get(path, set())
                where = f"{os.path.relpath(f, root)} ({t.name})"
                if not names:
                    if in_product(path, root):
                        findings.append(f"{where} includes {header}, which belongs to no target")
                    continue
                owner = sorted(names)[0]
                if owner not in allowed:
                    findings.append(f"{where} includes {header} of {owner}, which {t.name} "
                                    "does not link: the dependency runs the wrong way")
                    continue
                if is_utility(t, root) and in_product(f, root) and unit(f) != unit(path):
                    product_edges.setdefault(unit(f), set()).add(unit(path))

    circle = find_cycle(product_edges)
    if circle:
        findings.append("the utility's files include each other in a circle: "
                        + " -> ".join(os.path.relpath(u, root) for u in circle))
    return findings, count


def main():
    if len(sys.argv) != 2:
        print("usage: check_include_graph.py MANIFEST", file=sys.stderr)
        return 2
    root, build, targets = read_manifest(sys.argv[1])
    findings, count = check(root, build, targets)
    for finding in findings:
        print(finding)
    if findings:
        print(f"include graph: {len(findings)} finding(s)")
        return 1
    print(f"include graph: {count} includes in {len(targets)} targets, all one way")
    print("the utility's targets, bottom first: " + " < ".join(layer_order(targets, root)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
