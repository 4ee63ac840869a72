#!/usr/bin/env python3
"""Mutation testing of the lines that changed since a base commit.

Principles of operation: the tool plants one plain mistake at a time (a
comparison flipped or made strict, a constant moved by one, a condition
negated or one of its operands dropped, a call or a break removed, && and ||
swapped, two arguments swapped) in a changed line of src/, rebuilds only the
test programs that link that file, and runs their tests under a time limit.
A mutant that some test notices is killed; one that every test lets through
survived, and points at a behaviour no test pins down.

It works in its own build folder (warnings are not errors there, so a mutant
that only trips a warning still runs) and edits the source tree in place,
so nothing else should build from the same tree meanwhile. The file is put
back after every mutant, on Ctrl-C and on SIGTERM; a copy of the original
waits in <build>/mutate-backup until then, and a later run restores it
first should this process have been killed outright.

A changed line that carries "// mutate: equivalent (why)" is skipped: its
mutants cannot be told apart from the original, and the reason is on record
beside the code.
"""

import argparse
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import mutate_ops  # noqa: E402
import mutate_targets  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def git(*args):
    return subprocess.run(["git", *args], cwd=ROOT, check=True, capture_output=True,
                          text=True).stdout


def default_base():
    """The merge base with the newest release tag (v2.1.0, debian/2.1.0-1), else the
    previous commit."""
    try:
        tag = git("describe", "--tags", "--abbrev=0", "--match", "v*", "--match", "debian/*",
                  "HEAD").strip()
        return git("merge-base", tag, "HEAD").strip()
    except subprocess.CalledProcessError:
        return "HEAD~1"


def changed_lines(base, paths):
    """{file: set of line numbers} added or changed since base, working tree included."""
    diff = git("diff", "-U0", "--no-color", "--no-ext-diff", base, "--", *paths)
    changed, current = {}, None
    for line in diff.splitlines():
        if line.startswith("+++ "):
            name = line[4:]
            current = name[2:] if name.startswith("b/") else None
        elif line.startswith("@@") and current:
            # "@@ -a,b +c,d @@": the new side starts at c and spans d lines.
            new = line.split()[2][1:]
            start, _, count = new.partition(",")
            count = int(count) if count else 1
            changed.setdefault(current, set()).update(range(int(start), int(start) + count))
    return changed


class CSourceGuard:
    """Puts a mutated file back, whatever ends the mutant."""

    def __init__(self, backup_dir):
        self.m_backup_dir = backup_dir
        self.m_path = None
        self.m_original = None

    def restore_leftover(self):
        record = os.path.join(self.m_backup_dir, "path")
        if not os.path.exists(record):
            return
        with open(record, encoding="utf-8") as f:
            path = f.read()
        with open(os.path.join(self.m_backup_dir, "content"), "rb") as f:
            content = f.read()
        with open(path, "wb") as f:
            f.write(content)
        os.remove(record)
        print(f"restored {os.path.relpath(path, ROOT)} from an earlier run", file=sys.stderr)

    def plant(self, path, original, mutated):
        os.makedirs(self.m_backup_dir, exist_ok=True)
        with open(os.path.join(self.m_backup_dir, "content"), "wb") as f:
            f.write(original)
        with open(os.path.join(self.m_backup_dir, "path"), "w", encoding="utf-8") as f:
            f.write(path)
        self.m_path, self.m_original = path, original
        with open(path, "wb") as f:
            f.write(mutated)

    def restore(self):
        if self.m_path is None:
            return
        with open(self.m_path, "wb") as f:
            f.write(self.m_original)
        os.remove(os.path.join(self.m_backup_dir, "path"))
        self.m_path = None


def stop_on_signal(signum, _frame):
    raise KeyboardInterrupt(f"signal {signum}")


def collect_mutants(changed, per_line):
    mutants, skipped = [], 0
    for path in sorted(changed):
        full = os.path.join(ROOT, path)
        if not os.path.exists(full):
            continue
        with open(full, encoding="utf-8") as f:
            lines = f.read().split("\n")
        in_comment = False
        for number, text in enumerate(lines, 1):
            code, in_comment = mutate_ops.strip_comments(text, in_comment)
            if number not in changed[path]:
                continue
            if "mutate: equivalent" in text:
                skipped += 1
                continue
            found = mutate_ops.mutants_of_line(code, text)
            for change in mutate_ops.pick(found, per_line, f"{path}:{number}"):
                mutants.append((path, number, change))
    return mutants, skipped


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--base", default=os.environ.get("BASE") or None,
                        help="commit to compare with (default: merge base with the last "
                        "release tag v*, else HEAD~1)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build-mutate"),
                        help="build folder of its own (default: build-mutate)")
    parser.add_argument("--per-line", type=int, default=1,
                        help="mutants tried on each changed line (default 1)")
    parser.add_argument("--max", type=int, default=0, help="at most this many mutants")
    parser.add_argument("--timeout", type=float, default=0,
                        help="seconds a test program may take (default: 3x its clean run, "
                        "at least 20)")
    parser.add_argument("paths", nargs="*", default=["src"],
                        help="where to look for changed lines (default: src)")
    return parser.parse_args()


def main():
    args = parse_args()
    base = args.base or default_base()
    signal.signal(signal.SIGTERM, stop_on_signal)
    guard = CSourceGuard(os.path.join(args.build, "mutate-backup"))
    guard.restore_leftover()

    changed = {f: lines for f, lines in changed_lines(base, args.paths).items()
               if f.endswith((".cpp", ".h")) and f.startswith("src/")}
    mutants, equivalent = collect_mutants(changed, args.per_line)
    if args.max and len(mutants) > args.max:
        step = len(mutants) / args.max
        mutants = [mutants[int(i * step)] for i in range(args.max)]
    print(f"base {base[:12]}: {len(mutants)} mutants in {len(changed)} files, "
          f"{equivalent} lines marked equivalent", flush=True)
    if not mutants:
        print("killed 0 of 0")
        return 0

    runner = mutate_targets.CRunner(ROOT, args.build, args.timeout)
    runner.prepare(sorted({m[0] for m in mutants}))

    killed = survived = stillborn = 0
    started = time.monotonic()
    try:
        for path, number, change in mutants:
            full = os.path.join(ROOT, path)
            with open(full, "rb") as f:
                original = f.read()
            lines = original.decode("utf-8").split("\n")
            lines[number - 1] = change.text
            guard.plant(full, original, "\n".join(lines).encode("utf-8"))
            try:
                verdict = runner.judge(path)
            finally:
                guard.restore()
            where = f"{path}:{number}: {change.describe()}:"
            if verdict.built is False:
                stillborn += 1
                print(f"{where} did not build (not counted)", flush=True)
            elif verdict.killer:
                killed += 1
                print(f"{where} killed by {verdict.killer}", flush=True)
            else:
                survived += 1
                print(f"{where} SURVIVED", flush=True)
    except KeyboardInterrupt:
        guard.restore()
        print("interrupted; the source is back as it was", file=sys.stderr)
        return 130
    minutes = (time.monotonic() - started) / 60
    print(f"{stillborn} did not build, {equivalent} equivalent lines skipped, "
          f"{minutes:.1f} min")
    print(f"killed {killed} of {killed + survived}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
