#!/usr/bin/env python3
"""Draws single-line mutants of the card's code the way real bugs look, builds each in a tree of
its own and runs the native suite against it; prints the score and every mutant that survived.

A mutant is one change on one line of src/ (the card's program and its libraries):
  relational   a comparison swapped for its neighbour (< and <=, > and >=, == and !=)
  arithmetic   + and - swapped, * and / swapped (never on pointers' ++, --, +=, -=)
  constant     an integer literal off by one (up or down)
  negate       the condition of an if or a while negated
  complement   a ~ dropped (a checksum or a mask not negated)
  logical      && and || swapped
  drop-call    a statement that is only a call removed
  tries        a retry count cut to one try

Comments, strings, character literals, preprocessor lines and static_asserts are never mutated.
The draw depends only on the seed and the sources, so a run is repeated with the same seed.

Usage: scripts/mutation.sh [--seed S] [--count N] [--build DIR] [--timeout SECONDS] [--list]
                           [--jobs N] [--only FILE:LINE[:KIND]]... [--rerun JSON] [PATH...]
Each mutant's verdict, and the test program and tests that killed it, go to BUILD/results.json;
the survivors to BUILD/survivors.json, which --rerun runs again after the tests have changed
(a mutant is found again by its line's text, so lines that moved above it do not matter).
PATH narrows the draw to files or folders of src/ (default: all of src/ but the real-system
backend, which the suite reaches only on a real kernel).
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# LinuxOs forwards to the real calls; the suite runs it only on a real kernel and a mutant there
# says nothing about the tests of the card's code.
EXCLUDED = {"src/os/linux_os.cpp", "src/main.cpp"}
TEST_PROGRAMS = ["tests/kmb_unit_tests", "tests/kmb_console_tests", "tests/kmb_integration_tests"]
# These start simulated cards of their own (kmbdiag-sim, the daemons), and two such runs at once
# disturb each other (ScriptedRun and the soak runs fail beside a second one): each runs whole,
# alone, after the unit tests' shards.
ALONE = {"tests/kmb_console_tests", "tests/kmb_integration_tests"}


def build_cmd(out):
    """Builds what the suite runs (and what it depends on), not the card's own program."""
    targets = []
    for prog in TEST_PROGRAMS:
        targets += ["--target", os.path.basename(prog)]
    return ["cmake", "--build", out, "-j", str(os.cpu_count() or 2)] + targets


def mask_line(line, state):
    """The line with comments, strings and character literals blanked (same length), and
    whether a block comment is still open at its end."""
    out = []
    i = 0
    in_block = state
    n = len(line)
    while i < n:
        c = line[i]
        if in_block:
            if line.startswith("*/", i):
                in_block = False
                out.append("  ")
                i += 2
            else:
                out.append(" ")
                i += 1
            continue
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_block = True
            out.append("  ")
            i += 2
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)[:n], in_block


RELATIONAL = [("<=", "<"), (">=", ">"), ("==", "!="), ("!=", "=="), ("<", "<="), (">", ">=")]


def sites(path, lines):
    """Every mutation this file offers: (line index, kind, start, end, replacement)."""
    found = []
    block = False
    for idx, raw in enumerate(lines):
        masked, block = mask_line(raw, block)
        stripped = masked.strip()
        if not stripped or stripped.startswith("#") or "static_assert" in masked:
            continue
        if "template" in masked or "#include" in raw or "virtual" in masked:
            continue
        # Comparisons stand between blanks in this code; template brackets, shifts, streams and
        # -> never do.
        for m in re.finditer(r"(?<= )(<=|>=|==|!=|<|>)(?= )", masked):
            found.append((idx, "relational", m.start(), m.end(), dict(RELATIONAL)[m.group(1)]))
        for m in re.finditer(r"(?<=[\w)\]] )([+\-*/])(?= [\w(])", masked):
            op = m.group(1)
            repl = {"+": "-", "-": "+", "*": "/", "/": "*"}[op]
            found.append((idx, "arithmetic", m.start(), m.end(), repl))
        for m in re.finditer(r"(?<![\w.])(\d+)(?![\w.])", masked):
            if "[" in masked[max(0, m.start() - 1):m.start()] and masked.strip().endswith("];") and "=" not in masked:
                continue  # an array's declared size: a compile error, not a bug
            text = m.group(1)
            octal = len(text) > 1 and text.startswith("0")
            value = int(text, 8 if octal else 10)
            for delta in (1, -1):
                if value + delta >= 0:
                    repl = "0%o" % (value + delta) if octal else str(value + delta)
                    found.append((idx, "constant", m.start(), m.end(), repl))
        m = re.match(r"(\s*(?:\}\s*else\s+)?(?:if|while)\s*)\((.*)\)(\s*\{?\s*)$", masked)
        if m and masked.count("(") == masked.count(")"):
            start = len(m.group(1))
            end = len(masked) - len(m.group(3))
            found.append((idx, "negate", start, end, "(!" + raw[start:end] + ")"))
        for m in re.finditer(r"~", masked):
            found.append((idx, "complement", m.start(), m.end(), ""))
        for m in re.finditer(r"&&|\|\|", masked):
            found.append((idx, "logical", m.start(), m.end(), "||" if m.group(0) == "&&" else "&&"))
        if re.match(r"\s*(?:[\w:]+(?:\.|->))*[\w:]+\(.*\);\s*$", masked) and not re.match(r"\s*(return|if|while|for|switch|case)\b", masked):
            if masked.count("(") == masked.count(")"):
                found.append((idx, "drop-call", 0, len(raw), re.match(r"\s*", raw).group(0) + ";"))
        m = re.search(r"\b(\w*(?:TRIES|Tries|RETRIES|Retries|POLLS|Polls)\w*)\s*=\s*(\d+)", masked)
        if m and "constexpr" in masked and int(m.group(2)) > 1:
            found.append((idx, "tries", m.start(2), m.end(2), "1"))
    return [(path,) + s for s in found]


def all_sites(paths):
    files = []
    for p in paths or ["src"]:
        full = os.path.join(ROOT, p)
        if os.path.isfile(full):
            files.append(p)
            continue
        for dirpath, _, names in os.walk(full):
            for name in sorted(names):
                if name.endswith((".cpp", ".h")):
                    files.append(os.path.relpath(os.path.join(dirpath, name), ROOT))
    result = []
    for f in sorted(set(files)):
        if f in EXCLUDED:
            continue
        with open(os.path.join(ROOT, f), encoding="utf-8") as fh:
            lines = fh.read().split("\n")
        result.extend(sites(f, lines))
    return result


def apply(tree, site):
    path, idx, kind, start, end, repl = site
    full = os.path.join(tree, path)
    with open(full, encoding="utf-8") as fh:
        lines = fh.read().split("\n")
    before = lines[idx]
    lines[idx] = before[:start] + repl + before[end:]
    with open(full, "w", encoding="utf-8") as fh:
        fh.write("\n".join(lines))
    return before, lines[idx]


def restore(tree, path):
    shutil.copyfile(os.path.join(ROOT, path), os.path.join(tree, path))


def run(cmd, cwd, timeout):
    try:
        r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout)
        return r.returncode, r.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return None, ""


def prepare(build):
    """A copy of the sources (so that work in the checkout goes on meanwhile) and its build."""
    tree = os.path.join(build, "tree")
    os.makedirs(build, exist_ok=True)
    listed = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, stdout=subprocess.PIPE,
                            check=True).stdout.decode().split("\0")
    for f in filter(None, listed):
        src = os.path.join(ROOT, f)
        dst = os.path.join(tree, f)
        if not os.path.isfile(src):
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        if not os.path.exists(dst) or open(src, "rb").read() != open(dst, "rb").read():
            shutil.copyfile(src, dst)
    out = os.path.join(build, "out")
    # A mutant costs a compile and a link: no debug information, light optimisation, and the
    # tests listed when ctest runs rather than after every link (the suite runs the programs).
    code, text = run(["cmake", "-S", tree, "-B", out, "-DCMAKE_BUILD_TYPE=Release",
                      "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG",
                      "-DKMB_WERROR=OFF", "-DKMB_BUILD_FUZZERS=OFF", "-DKMB_BUILD_BENCHMARKS=OFF",
                      "-DKMB_TEST_DISCOVERY=PRE_TEST"],
                     ROOT, 600)
    if code != 0:
        sys.exit("mutation: configure failed\n" + text)
    code, text = run(build_cmd(out), ROOT, 3600)
    if code != 0:
        sys.exit("mutation: the unmutated tree does not build\n" + text[-3000:])
    return tree, out


def shard_tasks(out, jobs, broken):
    """(program, shard) pairs in the order they start: the quick unit tests first, each program
    cut into as many gtest shards as jobs run at once."""
    tasks = []
    for prog in TEST_PROGRAMS:
        exe = os.path.join(out, prog)
        if os.path.exists(exe):
            shards = 1 if prog in ALONE else jobs
            tasks += [(exe, (shard, shards), list(broken.get(prog, []))) for shard in range(shards)]
    return tasks


def start_shard(exe, shard, log, skip):
    index, total = shard
    env = dict(os.environ, GTEST_TOTAL_SHARDS=str(total), GTEST_SHARD_INDEX=str(index))
    cmd = [exe, "--gtest_brief=1", "--gtest_fail_fast"]
    if skip:
        cmd.append("--gtest_filter=-" + ":".join(skip))
    # A session of its own, so that a shard cut short takes the simulators it started along.
    proc = subprocess.Popen(cmd, cwd=os.path.dirname(exe), stdout=log, stderr=subprocess.STDOUT, env=env,
                            start_new_session=True)
    proc.kmb_shard = (shard, skip)
    return proc


def shard_of(proc):
    return proc.kmb_shard[0]


def fails_again(exe, tests, timeout):
    """Whether these tests fail again run on their own, one at a time (None: they hang)."""
    try:
        r = subprocess.run([exe, "--gtest_brief=1", "--gtest_filter=" + ":".join(tests)], cwd=os.path.dirname(exe),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout,
                           start_new_session=True)
    except subprocess.TimeoutExpired:
        return None
    return r.returncode != 0


def stop_shard(proc):
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, 9)
        except ProcessLookupError:
            pass
    proc.wait()


def baseline(out, timeout):
    """The tests that fail on the unmutated tree, by program: they cannot tell a mutant from the
    sources and are left out of every mutant's run (and named, so that they get mended)."""
    broken = {}
    for prog in TEST_PROGRAMS:
        exe = os.path.join(out, prog)
        if not os.path.exists(exe):
            continue
        with tempfile.TemporaryFile() as log:
            try:
                subprocess.run([exe, "--gtest_brief=1"], cwd=os.path.dirname(exe), stdout=log,
                               stderr=subprocess.STDOUT, timeout=timeout * 4, start_new_session=True)
            except subprocess.TimeoutExpired:
                sys.exit(f"mutation: {prog} hangs on the unmutated tree")
            tests = failed_tests(log)
        if tests:
            broken[prog] = tests
            print(f"mutation: {prog} fails {','.join(tests)} unmutated; left out", file=sys.stderr, flush=True)
    return broken


def failed_tests(log):
    log.seek(0)
    text = log.read().decode(errors="replace")
    names = re.findall(r"^\[  FAILED  \] ([\w/]+\.[\w/]+)", text, re.M)
    return sorted(set(names))


def suite(out, timeout, jobs, broken=None):
    """('killed' | 'survived' | 'timeout', the test program and tests that killed it). The test
    programs run in gtest shards, jobs at a time, and the first failing shard stops the rest (a
    mutant that hangs the suite is killed too)."""
    pending = shard_tasks(out, jobs, broken or {})
    running = []  # (proc, exe, started, log)
    verdict = ("survived", "")
    try:
        while pending or running:
            while pending and len(running) < jobs:
                exe, shard, skip = pending[0]
                if shard[1] == 1 and running:
                    break  # a program that runs alone waits for the shards before it
                pending.pop(0)
                log = tempfile.TemporaryFile()
                running.append((start_shard(exe, shard, log, skip), exe, time.time(), log))
                if shard[1] == 1:
                    break
            time.sleep(0.05)
            for entry in list(running):
                proc, exe, started, log = entry
                name = os.path.basename(exe)
                if proc.poll() is None:
                    if time.time() - started > timeout:
                        verdict = ("timeout", name)
                        return verdict
                    continue
                running.remove(entry)
                if proc.returncode != 0:
                    tests = failed_tests(log)
                    log.close()
                    if tests and fails_again(exe, tests, timeout) is False:
                        # A test that passes when run again on its own with the same mutant
                        # failed for the machine's load, not for the mutant: it is passed over
                        # and the rest of the shard runs without it.
                        print(f"mutation: {name} {','.join(tests)} failed once and passed again; "
                              f"passed over", file=sys.stderr, flush=True)
                        pending.insert(0, (exe, shard_of(proc), proc.kmb_shard[1] + tests))
                        continue
                    return ("killed", name + (" " + ",".join(tests) if tests else ""))
                log.close()
        return verdict
    finally:
        for proc, _, _, log in running:
            stop_shard(proc)
            log.close()


def site_record(site, before):
    path, idx, kind, start, end, repl = site
    return {"path": path, "line": idx + 1, "kind": kind, "start": start, "end": end,
            "repl": repl, "before": before}


def relocate(record):
    """The recorded mutant on the sources as they are now: the line with the recorded text
    nearest to where it was (lines above it may have moved), or None when it is gone."""
    full = os.path.join(ROOT, record["path"])
    if not os.path.isfile(full):
        return None
    with open(full, encoding="utf-8") as fh:
        lines = fh.read().split("\n")
    hits = [i for i, line in enumerate(lines) if line == record["before"]]
    if not hits:
        return None
    idx = min(hits, key=lambda i: abs(i - (record["line"] - 1)))
    return (record["path"], idx, record["kind"], record["start"], record["end"], record["repl"])


def select_only(candidates, wanted):
    """The sites named FILE:LINE or FILE:LINE:KIND."""
    chosen = []
    for place in wanted:
        parts = place.split(":")
        if len(parts) < 2 or not parts[1].isdigit():
            sys.exit(f"mutation: --only wants FILE:LINE[:KIND], not {place!r}")
        path, line = os.path.normpath(parts[0]), int(parts[1])
        kind = parts[2] if len(parts) > 2 else None
        found = [c for c in candidates if c[0] == path and c[1] + 1 == line and kind in (None, c[2])]
        if not found:
            sys.exit(f"mutation: no mutation site at {place}")
        chosen += found
    return chosen


def load_rerun(path):
    import json
    with open(path, encoding="utf-8") as fh:
        records = json.load(fh)
    drawn = []
    for record in records:
        site = relocate(record)
        if site is None:
            print(f"mutation: {record['path']}:{record['line']} is no longer in the sources", file=sys.stderr)
        else:
            drawn.append(site)
    return drawn


def save_records(path, entries):
    import json
    with open(path, "w", encoding="utf-8") as fh:
        json.dump([dict(site_record(site, before), verdict=verdict, by=by)
                   for site, before, verdict, by in entries], fh, indent=1)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0].replace("\n", " "))
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=150)
    ap.add_argument("--build", default=os.path.join(ROOT, "build-mutation"))
    ap.add_argument("--timeout", type=int, default=300, help="seconds per test program")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2,
                    help="test shards run at once (default: one per core)")
    ap.add_argument("--list", action="store_true", help="print the drawn mutants and stop")
    ap.add_argument("--only", action="append", default=[], metavar="FILE:LINE[:KIND]",
                    help="run the mutants of this line instead of a draw (repeatable)")
    ap.add_argument("--rerun", metavar="JSON",
                    help="run again the mutants of a run's record (e.g. its survivors.json)")
    ap.add_argument("paths", nargs="*")
    args = ap.parse_args()
    args.jobs = max(1, args.jobs)

    candidates = all_sites(args.paths)
    if not candidates:
        sys.exit("mutation: no mutation sites")
    if args.rerun:
        drawn = load_rerun(args.rerun)
    elif args.only:
        drawn = select_only(candidates, args.only)
    else:
        rng = random.Random(args.seed)
        # Built and run in the order drawn, so that a run cut short is still a fair sample of src/.
        drawn = rng.sample(candidates, min(args.count, len(candidates)))
    if args.list:
        for path, idx, kind, start, end, repl in sorted(drawn):
            print(f"{path}:{idx + 1}: {kind}: -> {repl!r}")
        print(f"{len(drawn)} of {len(candidates)} sites")
        return 0
    if not drawn:
        sys.exit("mutation: nothing to run")

    build = os.path.abspath(args.build)
    tree, out = prepare(build)
    broken = baseline(out, args.timeout)
    results = {"killed": [], "survived": [], "timeout": [], "stillborn": []}
    record = []
    started = time.time()
    for n, site in enumerate(drawn, 1):
        path, idx, kind = site[0], site[1], site[2]
        before, after = apply(tree, site)
        code, text = run(build_cmd(out), ROOT, 1800)
        if code != 0:
            verdict, by = "stillborn", ""
        else:
            verdict, by = suite(out, args.timeout, args.jobs, broken)
        restore(tree, path)
        results[verdict].append((site, before, after))
        record.append((site, before, verdict, by))
        # Each mutant's line as it comes, so that a run cut short still tells what it found.
        save_records(os.path.join(build, "results.json"), record)
        save_records(os.path.join(build, "survivors.json"), [r for r in record if r[2] == "survived"])
        killer = f"  <- {by}" if by else ""
        print(f"[{n}/{len(drawn)}] {verdict:9} {path}:{idx + 1} {kind}: {after.strip()}{killer}", flush=True)
    # The tree goes back to the sources as they are, so the next run starts from a clean build.
    run(build_cmd(out), ROOT, 1800)

    live = len(drawn) - len(results["stillborn"])
    dead = len(results["killed"]) + len(results["timeout"])
    print()
    what = "rerun" if args.rerun else "only" if args.only else f"seed {args.seed}"
    print(f"{what}: {len(drawn)} mutants of {len(candidates)} sites, "
          f"{len(results['stillborn'])} did not build, {dead} of {live} killed "
          f"({100.0 * dead / live if live else 0:.1f} %), {len(results['survived'])} survived, "
          f"{time.time() - started:.0f} s")
    if results["survived"]:
        print("survivors:")
        for (path, idx, kind, *_), before, after in results["survived"]:
            print(f"  {path}:{idx + 1}: {kind}")
            print(f"    - {before.strip()}")
            print(f"    + {after.strip()}")
        print(f"(recorded in {os.path.join(build, 'survivors.json')}; run them again with --rerun)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
