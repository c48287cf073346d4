#!/usr/bin/env python3
"""Plants single faults in a scratch copy of the tree, one at a time, and reports which ones the
test suite catches.

    python3 tools/mutate.py tools/mutations/known.txt            # every fault in the list
    python3 tools/mutate.py tools/mutations/known.txt -k paint   # faults whose name has "paint"
    python3 tools/mutate.py --check tools/mutations/*.txt        # only check that every fault applies
    python3 tools/mutate.py tools/mutations/*.txt --file platform/ --tests '^(BitBlt|WaveIn)\.'
                                                    # faults planted under platform/, held against those tests

The working tree is never touched: its tracked and untracked (not ignored) files are copied to
out/mutate/src (only the files that changed since the last run), which is built in
out/mutate/src/build without -Werror (a fault may well leave an unused variable behind). For each
fault the file is edited, the fault's own tests (its `tests:` regex) are built (their executables
and what those depend on) and run first, and if they all pass, the whole tree is built and the
whole suite run; the file is then put back. With --tests only those tests' executables are built.

A fault list holds blocks like this one; `#` starts a comment line:

    == paint: a second invalidation replaces the update region
    file: platform/user32/paint.cpp
    find: if (w.needsPaint) UnionRect(&w.update, &w.update, &add);
    replace: if (false) UnionRect(&w.update, &w.update, &add);
    tests: ^InvalidateRect\\.

`find` must occur exactly once in the file; runs of white space in it match any run of white
space, so indentation need not be copied. Several `find:` (or `replace:`) lines form a text of
several lines. An empty `replace:` deletes the found text.

A fault is killed when a test fails or times out, survives when every test passes, and is
reported "no build" when the program no longer compiles (not counted in the kill rate).
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRATCH = os.path.join(ROOT, "out", "mutate", "src")
BUILD = os.path.join(SCRATCH, "build")


class Fault:
    def __init__(self, name, origin):
        self.name = name
        self.origin = origin
        self.file = None
        self.find = []
        self.replace = []
        self.tests = None

    def pattern(self):
        text = "\n".join(self.find)
        parts = re.split(r"(\s+)", text.strip())
        return re.compile("".join(r"\s+" if p.isspace() else re.escape(p) for p in parts if p))

    def apply(self, text):
        """The file's text with the fault planted; raises ValueError when the pattern is not
        found exactly once."""
        matches = list(self.pattern().finditer(text))
        if len(matches) != 1:
            raise ValueError(f"{self.origin}: 'find' occurs {len(matches)} times in {self.file}")
        m = matches[0]
        return text[: m.start()] + "\n".join(self.replace) + text[m.end() :]


def read_faults(path):
    faults = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            origin = f"{path}:{number}"
            if not line.strip() or line.startswith("#"):
                continue
            if line.startswith("=="):
                faults.append(Fault(line[2:].strip(), origin))
                continue
            key, sep, value = line.partition(":")
            if not faults or not sep or key not in ("file", "find", "replace", "tests"):
                sys.exit(f"{origin}: expected '== name' or 'file:', 'find:', 'replace:', 'tests:'")
            value = value[1:] if value.startswith(" ") else value
            fault = faults[-1]
            if key == "file":
                fault.file = value.strip()
            elif key == "tests":
                fault.tests = value.strip()
            else:
                getattr(fault, key).append(value)
    for fault in faults:
        if not fault.file or not fault.find:
            sys.exit(f"{fault.origin}: '{fault.name}' needs 'file:' and 'find:'")
    return faults


def run(cmd, log, **kw):
    with open(log, "a") as out:
        out.write(f"$ {' '.join(cmd)}\n")
        out.flush()
        return subprocess.run(["nice", "-n", "15"] + cmd, stdout=out, stderr=subprocess.STDOUT, **kw).returncode


def sync_scratch():
    """Copies the working tree's files into the scratch copy, only those that differ, so that
    the scratch build stays incremental."""
    listed = subprocess.run(["git", "ls-files", "-z", "-co", "--exclude-standard"], cwd=ROOT, check=True,
                            capture_output=True).stdout.decode().split("\0")
    wanted = {p for p in listed if p and os.path.isfile(os.path.join(ROOT, p))}
    for rel in wanted:
        src, dst = os.path.join(ROOT, rel), os.path.join(SCRATCH, rel)
        if os.path.exists(dst) and os.path.getsize(src) == os.path.getsize(dst):
            with open(src, "rb") as a, open(dst, "rb") as b:
                if a.read() == b.read():
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        # A fresh modification time, so that the build sees the change even when the working
        # tree's copy is older than the scratch copy it replaces.
        shutil.copyfile(src, dst)
        shutil.copymode(src, dst)
    for dirpath, dirnames, filenames in os.walk(SCRATCH):
        if dirpath == SCRATCH and "build" in dirnames:
            dirnames.remove("build")
        for name in filenames:
            rel = os.path.relpath(os.path.join(dirpath, name), SCRATCH)
            if rel not in wanted:
                os.remove(os.path.join(dirpath, name))


def build(log, jobs, planted=True, targets=None):
    """Brings the scratch build up to date: everything, or only `targets` (paths of outputs
    inside the build, as ninja names them) and what they depend on."""
    if not os.path.exists(os.path.join(BUILD, "build.ninja")):
        if run(["cmake", "-S", SCRATCH, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], log):
            return False
    # The scratch build is incremental by itself; a planted fault must never reach the compiler
    # cache that the other builds share, where it would stand in for the correct object. The
    # unmutated tree may use it, which makes a first run as fast as any other build.
    env = dict(os.environ, CCACHE_DISABLE="1") if planted else None
    return run(["ninja", "-C", BUILD, f"-j{jobs}"] + (targets or []), log, env=env) == 0


def test_executables(regex):
    """The executables (paths inside the build) that hold the tests matching `regex`; None when
    ctest cannot tell, or a test runs something outside the build (then everything is built)."""
    listed = subprocess.run(["ctest", "--test-dir", BUILD, "--show-only=json-v1", "-R", regex],
                            capture_output=True, text=True)
    try:
        tests = json.loads(listed.stdout)["tests"]
    except (ValueError, KeyError):
        return None
    executables = set()
    for test in tests:
        command = test.get("command") or [""]
        relative = os.path.relpath(command[0], BUILD)
        if not os.path.isabs(command[0]) or relative.startswith(".."):
            return None
        executables.add(relative)
    return sorted(executables)


def ctest(log, jobs, timeout, args):
    """True when every selected test passed (no tests selected counts as passing)."""
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0", MELODEX_NO_BROWSER="1")
    cmd = ["ctest", "--test-dir", BUILD, f"-j{jobs}", "--timeout", str(timeout), "--stop-on-failure",
           "--no-tests=ignore"] + args
    return run(cmd, log, env=env) == 0


def first_failure(log):
    with open(log) as f:
        text = f.read()
    failed = re.findall(r"\d+ - (\S+) \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)", text)
    if failed:
        return failed[-1][0]
    failed = re.findall(r"Test +#\d+: (\S+) .*\*\*\*(\w+)", text)
    return failed[-1][0] if failed else "?"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("lists", nargs="+", help="fault lists")
    parser.add_argument("-k", "--only", help="only faults whose name contains this text")
    parser.add_argument("--file", help="only faults planted in files whose path starts with this text")
    parser.add_argument("--tests", help="hold every fault against the tests matching this regex only, "
                                         "instead of its own tests and then the whole suite")
    parser.add_argument("-j", "--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=int, default=120, help="seconds per test")
    parser.add_argument("--check", action="store_true", help="only check that every fault applies")
    parser.add_argument("--no-baseline", action="store_true", help="skip the unmutated suite run")
    args = parser.parse_args()

    faults = [f for path in args.lists for f in read_faults(path)]
    if args.only:
        faults = [f for f in faults if args.only in f.name]
    if args.file:
        faults = [f for f in faults if f.file.startswith(args.file)]
    problems = 0
    for fault in faults:
        try:
            with open(os.path.join(ROOT, fault.file), encoding="utf-8") as f:
                fault.apply(f.read())
        except (OSError, ValueError) as e:
            print(f"does not apply: {fault.name}: {e}")
            problems += 1
    if args.check or problems:
        print(f"{len(faults) - problems} of {len(faults)} faults apply")
        return 1 if problems else 0

    os.makedirs(os.path.join(ROOT, "out", "mutate"), exist_ok=True)
    logs = os.path.join(ROOT, "out", "mutate", "logs")
    shutil.rmtree(logs, ignore_errors=True)
    os.makedirs(logs)
    sync_scratch()
    base = os.path.join(logs, "baseline.log")
    if not build(base, args.jobs, planted=False):
        sys.exit(f"the unmutated tree does not build; see {base}")
    selected = ["-R", args.tests] if args.tests else []
    if not args.no_baseline and not ctest(base, args.jobs, args.timeout, selected):
        sys.exit(f"the unmutated suite fails ({first_failure(base)}); see {base}")
    # Whether a fault's own tests fail needs only their executables built; the whole tree is
    # built when they pass and the whole suite is to run.
    targets = {regex: test_executables(regex) for regex in {args.tests or f.tests for f in faults} if regex}

    results = {"killed": 0, "survived": 0, "no build": 0}
    for number, fault in enumerate(faults, 1):
        path = os.path.join(SCRATCH, fault.file)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        log = os.path.join(logs, f"{number:02d}.log")
        started = time.time()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(fault.apply(original))
            own = args.tests or fault.tests
            if own and not build(log, args.jobs, targets=targets[own]):
                verdict = "no build"
            elif own and not ctest(log, args.jobs, args.timeout, ["-R", own]):
                verdict = "killed"
            elif args.tests:
                verdict = "survived"
            elif not build(log, args.jobs):
                verdict = "no build"
            elif not ctest(log, args.jobs, args.timeout, ["-E", own] if own and targets[own] is None else []):
                # The fault's own tests run again unless everything was built for them: a
                # program they start without depending on it may have been out of date.
                verdict = "killed"
            else:
                verdict = "survived"
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        results[verdict] += 1
        detail = f" by {first_failure(log)}" if verdict == "killed" else f" (see {os.path.relpath(log, ROOT)})" if verdict != "survived" else ""
        print(f"{verdict:9} {fault.name}{detail}  [{time.time() - started:.0f} s]", flush=True)

    counted = results["killed"] + results["survived"]
    rate = f"{100.0 * results['killed'] / counted:.0f}%" if counted else "-"
    print(f"killed {results['killed']} of {counted} ({rate}); {results['no build']} did not build")
    # The scratch build is left with the last fault's file restored but not rebuilt; the next
    # run's first build catches up.
    return 0 if results["survived"] == 0 and results["no build"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
