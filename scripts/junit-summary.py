#!/usr/bin/env python3
"""Sums up the JUnit files that `ctest --output-junit` wrote for scripts/test-all.sh.

Prints one line per file (the build folder's name, its counts, and every test that
failed), then the plain count over all of them: "tests: N passed, N failed, N skipped".
Exits 1 when a test failed, when a file is missing or unreadable, or when no test ran.
"""
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path


def outcome(case):
    """passed, failed or skipped, as CTest records a test case."""
    status = case.get("status", "")
    if case.find("failure") is not None or case.find("error") is not None or status == "fail":
        return "failed"
    if case.find("skipped") is not None or status in ("notrun", "disabled"):
        return "skipped"
    return "passed"


def main(paths):
    totals = {"passed": 0, "failed": 0, "skipped": 0}
    ok = True
    for name in paths:
        path = Path(name)
        build = path.parent.name
        try:
            root = ElementTree.parse(path).getroot()
        except (OSError, ElementTree.ParseError) as error:
            print(f"{build}: no test results ({error})")
            ok = False
            continue
        counts = {"passed": 0, "failed": 0, "skipped": 0}
        failed = []
        for case in root.iter("testcase"):
            result = outcome(case)
            counts[result] += 1
            if result == "failed":
                failed.append(case.get("name", "?"))
        print(f"{build}: {counts['passed']} passed, {counts['failed']} failed, "
              f"{counts['skipped']} skipped")
        for test in failed:
            print(f"  FAILED {test}")
        for key in totals:
            totals[key] += counts[key]
    print(f"tests: {totals['passed']} passed, {totals['failed']} failed, "
          f"{totals['skipped']} skipped")
    return 0 if ok and totals["failed"] == 0 and totals["passed"] > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
