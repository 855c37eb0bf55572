#!/usr/bin/env python3
"""Mutation testing for Tonvera's C++ sources; run it through scripts/mutate.sh.

For each named source file it lists the small faults that can be made on its lines, draws a sample
of them with a fixed seed, and tries them one at a time: the fault is written into the file, the
module's test executable is rebuilt incrementally, and the module's tests run. All of this happens in
a copy of the sources, build-mutate/tree (brought up to date at each start), built in
build-mutate/tree/build, so the work tree can be edited and built meanwhile; the relative paths are
those of ./build, so ccache serves the unchanged objects. A
mutant is killed when the build or a test fails (or a test hangs past the time-out); it survived when
every test still passes. The copy of the file is restored afterwards (also on any exit).

Faults: a relational operator or its boundary (< <=, > >=, == !=), && and ||, + and -, * and /, a
condition negated, an integer constant changed by one, true and false swapped, a statement that is
a call or an assignment dropped, and a void function returning at its start.

Mutants listed in scripts/mutate_ignore.txt (equivalent: no behaviour changes) are not run, and a
mutant that compiles to the same machine code as the original is counted as equivalent too.
"""

import argparse
import filecmp
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOT = os.path.join(SOURCE, "build-mutate", "tree")
BUILD = os.path.join(ROOT, "build")
IGNORE_FILE = os.path.join(SOURCE, "scripts", "mutate_ignore.txt")

# Which test executables cover a file (space-separated), and which of their tests run first (a regex
# for ctest -R, or None for all). A mutant that survives the first selection is run against the
# whole executables, so the quick selection only saves time and never decides a survivor.
MODULES = [
    (r"^src/service/json(tokeniser|streamparser|value)\.cpp$", "test_service", r"Json"),
    (r"^src/radio/titlerules\.cpp$", "test_titlerules", None),
    (r"^src/radio/(playqueue|trackfilter)\.cpp$", "test_controller", r"PlayQueue|TrackFilter|RetryBackoff"),
    (r"^src/radio/retrybackoff\.h$", "test_controller", r"RetryBackoff"),
    (r"^src/display/lyricsmodel\.cpp$", "test_lyrics", None),
    (r"^src/taste/tnmanager\.cpp$", "test_taste", r"TasteStore"),
    (r"^src/audio/g719/purecodec\.cpp$", "test_pure", r"PureCodec|PureFramer|PureArithmetic|PureFuzz"),
    (r"^src/audio/g719/pure_format\.cpp$", "test_pure", None),
    (r"^src/audio/g719/g719_bitalloc\.cpp$", "test_g719", None),
    (r"^src/audio/audiostreamer_queue\.cpp$", "test_streamer test_player_formats test_pure_player", None),
    (r"^station/(byterange|text)\.cpp$", "test_station", r"Parts|Range|Safety"),
    (r"^station/limits\.h$", "test_station", r"Safety"),
    (r"^src/platform/plist\.cpp$", "test_platform", None),
]

# File arguments may name a line range, path:FIRST-LAST, or the part from the first line that
# matches a regular expression to the end, path:/REGEX/ (which follows the code as lines move).
FILE_ARG = re.compile(r"^(?P<path>[^:]+)(?::(?P<first>\d+)-(?P<last>\d+)|:/(?P<start>.+)/)?$")


@dataclass
class Mutant:
    path: str
    line: int  # 1-based
    kind: str
    before: str  # the whole line as it is
    after: str  # the whole line with the fault

    def key(self):
        return f"{self.path} | {self.before.strip()} | {self.after.strip()}"

    def describe(self):
        return f"{self.path}:{self.line}: {self.kind}: {self.before.strip()}  =>  {self.after.strip()}"


def code_mask(line):
    """The line with string and character literals and the comment blanked out (same length), so
    operators are only looked for in code."""
    out = []
    i, n = 0, len(line)
    while i < n:
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if c in "\"'":
            quote = c
            j = i + 1
            while j < n and line[j] != quote:
                j += 2 if line[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(quote + " " * (j - i - 2) + (quote if j - i >= 2 else ""))
            i = j
            continue
        out.append(c)
        i += 1
    return "".join(out)[:n]


# Binary operators are written with a space on each side in this code base (templates, pointers and
# unary signs are not), which tells them apart without parsing.
SWAPS = [
    ("relational boundary", " < ", " <= "), ("relational boundary", " <= ", " < "),
    ("relational boundary", " > ", " >= "), ("relational boundary", " >= ", " > "),
    ("equality", " == ", " != "), ("equality", " != ", " == "),
    ("logical", " && ", " || "), ("logical", " || ", " && "),
    ("arithmetic", " + ", " - "), ("arithmetic", " - ", " + "),
    ("arithmetic", " * ", " / "), ("arithmetic", " / ", " * "),
    ("compound arithmetic", " += ", " -= "), ("compound arithmetic", " -= ", " += "),
    ("boolean constant", "true", "false"), ("boolean constant", "false", "true"),
]
INTEGER = re.compile(r"(?<![\w.])(\d+)(?![\w.'])")
CONDITION = re.compile(r"\b(if|while) \(")
STATEMENT = re.compile(r"^(\s*)((?:[A-Za-z_][\w]*(?:::|\.|->))*[A-Za-z_]\w*(?:\[[^\]]*\])?\s*"
                       r"(?:\(.*\)|[+\-*/|&]?=[^=].*|\+\+|--));\s*$")
NOT_A_CALL = re.compile(r"^\s*(return|throw|co_return|case|default|goto|delete|using|typedef)\b")
VOID_FUNCTION = re.compile(r"^void [\w:~]+\(.*\)( const)? \{$")


def matching_paren(text, open_at):
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return None


def mutants_of_line(path, number, line):
    masked = code_mask(line)
    stripped = masked.strip()
    if not stripped or stripped.startswith("#") or stripped.startswith("static_assert"):
        return []
    found = []

    def add(kind, at, old, new):
        found.append(Mutant(path, number, kind, line, line[:at] + new + line[at + len(old):]))

    for kind, old, new in SWAPS:
        for m in re.finditer(re.escape(old) if old[0] == " " else r"\b" + old + r"\b", masked):
            add(kind, m.start(), old, new)
    for m in INTEGER.finditer(masked):
        value = int(m.group(1))
        add("constant", m.start(), m.group(1), str(value + 1))
        if value > 0:
            add("constant", m.start(), m.group(1), str(value - 1))
    for m in CONDITION.finditer(masked):
        close = matching_paren(masked, m.end() - 1)
        if close is not None:
            inner = line[m.end():close]
            found.append(Mutant(path, number, "negated condition", line,
                                line[:m.end()] + "!(" + inner + ")" + line[close:]))
    if STATEMENT.match(masked) and not NOT_A_CALL.match(masked):
        indent = STATEMENT.match(line).group(1) if STATEMENT.match(line) else ""
        found.append(Mutant(path, number, "statement dropped", line, indent + ";  // mutant"))
    if VOID_FUNCTION.match(masked):
        found.append(Mutant(path, number, "early return", line, line + " return;"))
    return found


def all_mutants(path, lines, first, last):
    found = []
    in_block_comment = False
    for number, line in enumerate(lines, 1):
        if "/*" in line and "*/" not in line:
            in_block_comment = True
        if in_block_comment:
            if "*/" in line:
                in_block_comment = False
            continue
        if first <= number <= last:
            found.extend(mutants_of_line(path, number, line))
    return found


def read_ignores():
    """Mutant keys ("path | line | mutated line") with their reasons."""
    ignores = {}
    if os.path.exists(IGNORE_FILE):
        with open(IGNORE_FILE, encoding="utf-8") as f:
            for raw in f:
                if not raw.strip() or raw.lstrip().startswith("#"):
                    continue
                key, _, reason = raw.rstrip("\n").rpartition(" # ")
                ignores[key.strip()] = reason.strip()
    return ignores


def run(cmd, timeout=None, log=None):
    try:
        result = subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=timeout, text=True, errors="replace")
    except subprocess.TimeoutExpired:
        return 124, "time-out"
    if log is not None:
        log.write(result.stdout)
    return result.returncode, result.stdout


def sync_tree():
    """Brings the copy up to date with the work tree: files whose bytes differ are copied (stamped
    now, so the build sees them newer than what it made from the old bytes), files gone from the
    work tree are removed."""
    def skipped(rel):
        top = rel.split(os.sep, 1)[0]
        return top.startswith("build") or top.startswith(".git") or top == ".cache"
    wanted = set()
    for folder, dirs, files in os.walk(SOURCE):
        rel_folder = os.path.relpath(folder, SOURCE)
        dirs[:] = [d for d in dirs if not skipped(os.path.normpath(os.path.join(rel_folder, d)))]
        for name in files:
            rel = os.path.normpath(os.path.join(rel_folder, name))
            wanted.add(rel)
            src, dst = os.path.join(SOURCE, rel), os.path.join(ROOT, rel)
            if not os.path.exists(dst) or not filecmp.cmp(src, dst, shallow=False):
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                shutil.copyfile(src, dst)
                shutil.copymode(src, dst)
    for folder, dirs, files in os.walk(ROOT):
        rel_folder = os.path.relpath(folder, ROOT)
        dirs[:] = [d for d in dirs if not skipped(os.path.normpath(os.path.join(rel_folder, d)))]
        for name in files:
            rel = os.path.normpath(os.path.join(rel_folder, name))
            if rel not in wanted:
                os.remove(os.path.join(ROOT, rel))


def configure(jobs):
    if not os.path.exists(os.path.join(BUILD, "CMakeCache.txt")):
        code, out = run(["cmake", "-S", ".", "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                         "-DTONVERA_WERROR=ON", "-DTONVERA_BUILD_BENCH=OFF",
                         "-DTONVERA_BUILD_STAMP=2001010000"])
        if code != 0:
            sys.exit("mutate: configure failed\n" + out)


def build(target, jobs, log):
    code, _ = run(["cmake", "--build", BUILD, "-j", str(jobs), "--target", *target.split()], log=log)
    return code == 0


def tests_pass(target, regex, jobs, timeout, log):
    labels = "|".join(target.split())
    cmd = ["ctest", "--test-dir", BUILD, "-L", f"^({labels})$", "-j", str(jobs), "--stop-on-failure",
           "--timeout", str(timeout), "--output-on-failure"]
    if regex:
        cmd += ["-R", regex]
    code, out = run(cmd, timeout=timeout * 4, log=log)
    if code == 0 and "No tests were found" in out:
        sys.exit(f"mutate: no test of {target} matches {regex!r}")
    return code == 0


def code_digest(path):
    """A digest of the machine code built from `path` (every object of that name, without debug
    information), or None for a header. A mutant whose digest equals the original's changed nothing
    the compiler kept (code the preprocessor leaves out, or a change it folds away): equivalent."""
    if not path.endswith(".cpp"):
        return None
    name = os.path.basename(path) + ".o"
    digest = hashlib.sha256()
    found = False
    for folder, _, files in sorted(os.walk(BUILD)):
        if name in files:
            found = True
            stripped = os.path.join(BUILD, "mutate-stripped.o")
            subprocess.run(["objcopy", "--strip-debug", os.path.join(folder, name), stripped], check=True)
            with open(stripped, "rb") as f:
                digest.update(f.read())
    return digest.hexdigest() if found else None


def module_of(path):
    for pattern, target, regex in MODULES:
        if re.search(pattern, path):
            return target, regex
    sys.exit(f"mutate: no tests known for {path}; add it to MODULES in scripts/mutate.py")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="+", help="source files (path, path:FIRST-LAST or path:/REGEX/)")
    parser.add_argument("--seed", type=int, default=int(os.environ.get("TONVERA_MUTATE_SEED", "1")))
    parser.add_argument("--sample", type=int, default=int(os.environ.get("TONVERA_MUTATE_SAMPLE", "5")),
                        help="mutants tried per file (0: all)")
    parser.add_argument("--jobs", type=int, default=int(os.environ.get("TONVERA_JOBS", "2")))
    parser.add_argument("--timeout", type=int, default=120, help="seconds per test case")
    parser.add_argument("--list", action="store_true", help="only list the sampled mutants")
    args = parser.parse_args()
    # Ended from outside, the file being mutated is still put back (the finally clauses run).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    ignores = read_ignores()
    sync_tree()
    configure(args.jobs)
    log = open(os.path.join(BUILD, "mutate.log"), "w", encoding="utf-8")
    totals = []
    started = time.time()
    for arg in args.files:
        m = FILE_ARG.match(arg)
        path = os.path.relpath(os.path.abspath(m.group("path")), SOURCE)
        first = int(m.group("first") or 1)
        last = int(m.group("last") or 10**9)
        target, regex = module_of(path)
        full = os.path.join(ROOT, path)
        with open(full, encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        if m.group("start"):
            starts = [n for n, line in enumerate(lines, 1) if re.search(m.group("start"), line)]
            if not starts:
                sys.exit(f"mutate: no line of {path} matches {m.group('start')!r}")
            first = starts[0]
        candidates = all_mutants(path, lines, first, last)
        # The seed and the file's name pick the sample, so adding a file does not change another's.
        rng = random.Random(f"{args.seed}:{path}")
        chosen = candidates if args.sample <= 0 or args.sample >= len(candidates) else \
            sorted(rng.sample(candidates, args.sample), key=lambda x: (x.line, x.kind, x.after))
        print(f"== {path} ({target}): {len(candidates)} mutants, trying {len(chosen)}", flush=True)
        if args.list:
            for mutant in chosen:
                print("   " + mutant.describe())
            continue
        if not build(target, args.jobs, log) or not tests_pass(target, None, args.jobs, args.timeout, log):
            sys.exit(f"mutate: {target} does not build or pass unmutated; see {BUILD}/mutate.log")
        original_code = code_digest(path)
        killed = survived = ignored = invalid = 0
        try:
            for mutant in chosen:
                if mutant.key() in ignores:
                    ignored += 1
                    print(f"   ignored   {mutant.describe()}  ({ignores[mutant.key()]})", flush=True)
                    continue
                mutated = lines[:]
                mutated[mutant.line - 1] = mutant.after
                with open(full, "w", encoding="utf-8") as f:
                    f.write("\n".join(mutated))
                log.write(f"\n#### {mutant.describe()}\n")
                if not build(target, args.jobs, log):
                    invalid += 1
                    print(f"   invalid   {mutant.describe()} (does not build)", flush=True)
                    continue
                if original_code and code_digest(path) == original_code:
                    ignored += 1
                    print(f"   ignored   {mutant.describe()}  (the same machine code)", flush=True)
                    continue
                if not tests_pass(target, regex, args.jobs, args.timeout, log):
                    verdict, how = "killed", ""
                elif regex and not tests_pass(target, None, args.jobs, args.timeout, log):
                    verdict, how = "killed", " (by the whole executable)"
                else:
                    verdict, how = "survived", ""
                if verdict == "killed":
                    killed += 1
                else:
                    survived += 1
                print(f"   {verdict:9} {mutant.describe()}{how}", flush=True)
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original)
        tried = killed + survived
        score = 100.0 * killed / tried if tried else 100.0
        totals.append((path, killed, survived, ignored, invalid, score))
        print(f"   score {path}: {killed}/{tried} killed ({score:.0f} %), {ignored} ignored as equivalent, "
              f"{invalid} not compiling", flush=True)
    if args.list:
        return 0
    build_ok = all(build(module_of(p)[0], args.jobs, log) for p, *_ in totals)  # back to the real code
    print(f"== scores (seed {args.seed}, sample {args.sample}, {time.time() - started:.0f} s)")
    for path, killed, survived, ignored, invalid, score in totals:
        print(f"   {score:5.1f} %  {path}  killed {killed}, survived {survived}, ignored {ignored}, "
              f"not compiling {invalid}")
    return 0 if build_ok else 1


if __name__ == "__main__":
    sys.exit(main())
