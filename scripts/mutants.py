#!/usr/bin/python3
"""Mutation testing for the engine: how many small faults do the tests catch?

Mutants are made from libclang's syntax tree, never from text patterns:
relational operators swapped or their boundary moved (< <=, > >=, == !=),
arithmetic operators swapped (+ -, * /), && and || swapped, conditions of if
and while negated, integer constants moved by one, calls whose result is
unused removed, and bool results negated.

A fixed, seeded sample is drawn over every folder of the engine. All sampled
mutants go into one copy of the source tree at once, each behind a switch
(`tv_mut(K)` is true only when TERVALO_MUTANT=K), so the copy is built once;
a mutant that does not compile is dropped and counted as not valid. A traced
run of the tests records which mutants the tests reach at all; every reached
mutant then runs the unit tests and the GL tests with its switch on, stopping
at the first failure. Killed = some test failed, crashed or timed out.

    scripts/mutants.py [--count 300] [--seed 1] [--out build/mutants]
                       [--only-list] [--tests-from REV] [--matrix]

--tests-from REV runs the sample against the tests/ folder of another git
revision (the engine sources stay those of the working tree), which is how a
test change is compared with the tests before it. The report goes to
OUT/report.md (score per folder, every survivor) and OUT/results.json.

--matrix runs every test against every reached mutant instead of stopping at
the first failure, and lists, per test, the mutants it kills and how many of
them no other test kills: a test with no kill of its own adds nothing to the
score of this sample (it may still catch faults the sample does not hold).
"""
import argparse
import collections
import hashlib
import json
import os
import pathlib
import random
import re
import shutil
import subprocess
import sys
import time

import clang.cindex as ci

ROOT = pathlib.Path(__file__).resolve().parent.parent
ENGINE_FOLDERS = ["base", "resources", "render", "script", "world", "sound", "maps", "dialog", "api", "check", "game"]
MIN_PER_FOLDER = 12

for lib in ("/usr/lib/llvm-14/lib/libclang-14.so.1", "/usr/lib/llvm-14/lib/libclang.so.1"):
    if os.path.exists(lib):
        ci.Config.set_library_file(lib)
        break

K = ci.CursorKind
T = ci.TypeKind
ARITH_TYPES = {T.BOOL, T.CHAR_U, T.UCHAR, T.CHAR16, T.CHAR32, T.USHORT, T.UINT, T.ULONG, T.ULONGLONG,
               T.CHAR_S, T.SCHAR, T.WCHAR, T.SHORT, T.INT, T.LONG, T.LONGLONG, T.FLOAT, T.DOUBLE,
               T.LONGDOUBLE, T.ENUM}
REL_SWAP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
ARITH_SWAP = {"+": "-", "-": "+", "*": "/", "/": "*"}
LOGIC_SWAP = {"&&": "||", "||": "&&"}
FUNCTIONS = {K.FUNCTION_DECL, K.CXX_METHOD, K.CONSTRUCTOR, K.DESTRUCTOR, K.LAMBDA_EXPR,
             K.FUNCTION_TEMPLATE, K.CONVERSION_FUNCTION}
CONSTANT_CONTEXTS = {K.CASE_STMT, K.ENUM_CONSTANT_DECL, K.STATIC_ASSERT, K.TEMPLATE_REF,
                     K.TEMPLATE_NON_TYPE_PARAMETER}


def canonical_kind(t):
    return t.get_canonical().kind


def is_arith(t):
    return canonical_kind(t) in ARITH_TYPES


def is_pointer(t):
    return canonical_kind(t) in (T.POINTER, T.NULLPTR)


class Site:
    """One mutation: replace bytes [start, end) of `path` by `schema(K)`."""

    def __init__(self, path, start, end, line, kind, original, mutated, template):
        self.path, self.start, self.end, self.line = path, start, end, line
        self.kind, self.original, self.mutated, self.template = kind, original, mutated, template

    def schema(self, k):
        return self.template.replace("@K@", str(k))

    @property
    def key(self):
        return (self.path, self.start, self.end, self.kind, self.mutated)

    def folder(self):
        return self.path.split("/")[0]


def compile_args():
    flags = subprocess.check_output(["pkg-config", "--cflags", "sdl", "SDL_image", "lua5.1", "sndfile", "glew"],
                                    text=True).split()
    builtin = sorted(pathlib.Path("/usr/lib/llvm-14/lib/clang").glob("*/include"))
    return ["-std=c++17", f"-I{ROOT}"] + flags + [f"-isystem{p}" for p in builtin[-1:]]


def text_of(src, ext):
    return src[ext.start.offset:ext.end.offset].decode("utf-8", "replace")


def operator_token(cursor, src):
    """The operator of a binary expression: the first token after the left operand."""
    children = list(cursor.get_children())
    if len(children) != 2:
        return None
    lhs_end = children[0].extent.end.offset
    for tok in cursor.get_tokens():
        if tok.extent.start.offset >= lhs_end:
            return tok.spelling, children
    return None


def in_constant_context(stack):
    for c in stack:
        if c.kind in CONSTANT_CONTEXTS:
            return True
        if c.kind in (K.VAR_DECL, K.FIELD_DECL):
            toks = [t.spelling for t in c.get_tokens()][:6]
            if "constexpr" in toks or ("static" in toks and "const" in toks):
                return True
    return False


def find_sites(rel, args, cache):
    """Every mutation site of one source file (cached by the file's and this script's text)."""
    path = ROOT / rel
    src = path.read_bytes()
    digest = hashlib.sha1(src + pathlib.Path(__file__).read_bytes()).hexdigest()
    if cache.get(rel, {}).get("digest") == digest:
        return [Site(*row) for row in cache[rel]["sites"]]
    tu = ci.Index.create().parse(str(path), args=args + ["-x", "c++"],
                                 options=0)
    sites = []

    def add(cur, kind, original, mutated, schema):
        e = cur.extent
        sites.append(Site(rel, e.start.offset, e.end.offset, e.start.line, kind, original, mutated, schema))

    def visit(cur, stack, in_body):
        for ch in cur.get_children():
            loc = ch.location
            if loc.file is None or pathlib.Path(loc.file.name).resolve() != path.resolve():
                continue
            body = in_body or ch.kind in FUNCTIONS
            if body and not in_constant_context(stack + [ch]):
                inspect(ch, stack)
            visit(ch, stack + [ch], body)

    def inspect(cur, stack):
        parent = stack[-1] if stack else None
        if cur.kind == K.BINARY_OPERATOR:
            got = operator_token(cur, src)
            if not got:
                return
            op, (lhs, rhs) = got
            a, b = text_of(src, lhs.extent), text_of(src, rhs.extent)
            both_arith = is_arith(lhs.type) and is_arith(rhs.type)
            if op in REL_SWAP and (both_arith or (is_pointer(lhs.type) and is_pointer(rhs.type))):
                new = REL_SWAP[op]
                add(cur, "relational", op, new,
                    f"(tv_mut(@K@) ? ({a}) {new} ({b}) : ({a}) {op} ({b}))")
            elif op in ARITH_SWAP and both_arith and canonical_kind(cur.type) not in (T.BOOL, T.ENUM):
                new = ARITH_SWAP[op]
                add(cur, "arithmetic", op, new,
                    f"(tv_mut(@K@) ? ({a}) {new} ({b}) : ({a}) {op} ({b}))")
            elif op in LOGIC_SWAP:
                new = LOGIC_SWAP[op]
                add(cur, "logical", op, new,
                    f"(tv_mut(@K@) ? ({a}) {new} ({b}) : ({a}) {op} ({b}))")
        elif cur.kind in (K.IF_STMT, K.WHILE_STMT):
            kids = list(cur.get_children())
            if not kids or not kids[0].kind.is_expression():
                return  # a declaration as condition, or an init-statement
            cond = kids[0]
            c = text_of(src, cond.extent)
            e = cond.extent
            sites.append(Site(rel, e.start.offset, e.end.offset, e.start.line, "negated condition", c, "!(...)",
                              f"(tv_mut(@K@) ? !({c}) : static_cast<bool>({c}))"))
        elif cur.kind == K.INTEGER_LITERAL:
            toks = list(cur.get_tokens())
            if len(toks) != 1 or parent is None or parent.kind in (K.CASE_STMT,):
                return
            lit = toks[0].spelling
            m = re.fullmatch(r"(0x[0-9a-fA-F]+|0[0-7]*|[1-9]\d*)([uUlL]*)", lit)
            if not m:
                return
            digits = m.group(1)
            value = int(digits, 8) if digits.startswith("0") and not digits.startswith("0x") else int(digits, 0)
            new = f"{value + 1}{m.group(2)}"
            add(cur, "constant", lit, new, f"(tv_mut(@K@) ? {new} : {lit})")
        elif cur.kind == K.CALL_EXPR and parent is not None and parent.kind == K.COMPOUND_STMT:
            c = text_of(src, cur.extent)
            if not c or c.startswith(("operator", "~")) or cur.spelling in ("", "static_assert"):
                return
            add(cur, "call removed", cur.spelling + "(...)", "nothing",
                f"(tv_mut(@K@) ? (void)0 : (void)({c}))")
        elif cur.kind == K.RETURN_STMT:
            kids = list(cur.get_children())
            if len(kids) == 1 and canonical_kind(kids[0].type) == T.BOOL:
                e = kids[0].extent
                c = text_of(src, e)
                sites.append(Site(rel, e.start.offset, e.end.offset, e.start.line, "negated result", c, "!(...)",
                                  f"(tv_mut(@K@) ? !({c}) : ({c}))"))

    visit(tu.cursor, [], False)
    uniq = {}
    for s in sites:
        if s.start < s.end:
            uniq.setdefault(s.key, s)
    found = list(uniq.values())
    cache[rel] = {"digest": digest, "sites": [[s.path, s.start, s.end, s.line, s.kind, s.original, s.mutated,
                                               s.template] for s in found]}
    return found


def sample(sites, count, seed):
    """A seeded sample spread over every folder, without overlapping ranges in one file."""
    rng = random.Random(seed)
    by_folder = collections.defaultdict(list)
    for s in sorted(sites, key=lambda s: s.key):
        by_folder[s.folder()].append(s)
    total = sum(len(v) for v in by_folder.values())
    quota = {f: max(MIN_PER_FOLDER, round(count * len(v) / total)) for f, v in by_folder.items()}
    chosen = []
    taken = collections.defaultdict(list)
    for folder in sorted(by_folder):
        pool = by_folder[folder][:]
        rng.shuffle(pool)
        n = 0
        for s in pool:
            if n >= quota[folder]:
                break
            if any(s.start < e and b < s.end for b, e in taken[s.path]):
                continue
            taken[s.path].append((s.start, s.end))
            chosen.append(s)
            n += 1
    return sorted(chosen, key=lambda s: s.key)


PRELUDE = 'bool tv_mut(int id);  // mutation switch\n'
SWITCH_SOURCE = r'''// The mutation switch: tv_mut(K) is true only for K == $TERVALO_MUTANT.
// With TERVALO_MUTANT_TRACE=FILE every switch reached is written there.
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {
struct Switch {
  int active = -1;
  const char* trace = nullptr;
  std::set<int> reached;
  Switch() {
    if (const char* v = std::getenv("TERVALO_MUTANT")) active = std::atoi(v);
    trace = std::getenv("TERVALO_MUTANT_TRACE");
  }
  ~Switch() {
    if (!trace) return;
    if (FILE* f = std::fopen(trace, "a")) {
      for (int id : reached) std::fprintf(f, "%d\n", id);
      std::fclose(f);
    }
  }
};
Switch& sw() {
  static Switch s;
  return s;
}
}  // namespace

bool tv_mut(int id) {
  Switch& s = sw();
  if (s.trace) s.reached.insert(id);
  return id == s.active;
}
'''


def write_tree(work, mutants, tests_from):
    """Copies the repository into `work` with every mutant behind its switch."""
    work.mkdir(parents=True, exist_ok=True)
    files = subprocess.check_output(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT, text=True).split()
    for f in files:
        if tests_from and f.startswith("tests/"):
            continue
        if not (ROOT / f).is_file():
            continue
        dst = work / f
        dst.parent.mkdir(parents=True, exist_ok=True)
        put(dst, (ROOT / f).read_bytes())
        shutil.copymode(ROOT / f, dst)  # the build runs some scripts directly
    if tests_from:
        archive = subprocess.check_output(["git", "archive", tests_from, "tests"], cwd=ROOT)
        subprocess.run(["tar", "-x", "-C", str(work)], input=archive, check=True)
    by_file = collections.defaultdict(list)
    for m in mutants:
        by_file[m.site.path].append(m)
    for rel, ms in by_file.items():
        src = (ROOT / rel).read_bytes()
        out, pos = [PRELUDE.encode()], 0
        for m in sorted(ms, key=lambda m: m.site.start):
            out.append(src[pos:m.site.start])
            out.append(m.site.schema(m.id).encode())
            pos = m.site.end
        out.append(src[pos:])
        put(work / rel, b"".join(out))
    put(work / "base" / "tv_mutation_switch.cpp", SWITCH_SOURCE.encode())


def put(path, data):
    """Writes only what changed, so that a rebuild recompiles only that."""
    if not path.exists() or path.read_bytes() != data:
        path.write_bytes(data)


class Mutant:
    def __init__(self, id_, site):
        self.id, self.site = id_, site
        self.status = None  # invalid, unreached, killed, survived
        self.detail = ""
        self.killers = []


def mutated_line_spans(work, mutants):
    """Maps each mutant to the lines its text covers in the mutated copy."""
    spans = {}
    by_file = collections.defaultdict(list)
    for m in mutants:
        by_file[m.site.path].append(m)
    for rel, ms in by_file.items():
        text = (work / rel).read_text(errors="replace")
        for m in ms:
            tag = f"tv_mut({m.id})"
            i = text.find(tag)
            if i < 0:
                continue
            line = text.count("\n", 0, i) + 1
            schema = m.site.schema(m.id)
            spans[m.id] = (rel, line, line + schema.count("\n"))
    return spans


def build(work, mutants, log, targets):
    bdir = work / "build"
    env = dict(os.environ)
    subprocess.run(["cmake", "-S", str(work), "-B", str(bdir), "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                   check=True, stdout=subprocess.DEVNULL, env=env)
    for attempt in range(40):
        live = [m for m in mutants if m.status != "invalid"]
        r = subprocess.run(["cmake", "--build", str(bdir), "-j2", "--target"] + targets + ["--", "-k"],
                           capture_output=True, text=True, env=env)
        log.write(r.stdout[-20000:] + r.stderr[-20000:])
        if r.returncode == 0:
            return bdir
        spans = mutated_line_spans(work, live)
        bad = set()
        for fm in re.finditer(r"^(?:\S*/)?([a-z_]+/[A-Za-z0-9_]+\.cpp):(\d+):\d+: error", r.stdout + r.stderr, re.M):
            rel, line = fm.group(1), int(fm.group(2))
            for mid, (p, a, b) in spans.items():
                if p == rel and a <= line <= b:
                    bad.add(mid)
        if not bad:
            sys.stderr.write((r.stdout + r.stderr)[-4000:])
            raise SystemExit("mutants: the build fails where no mutant is")
        for m in live:
            if m.id in bad:
                m.status, m.detail = "invalid", "does not compile"
        write_tree(work, [m for m in mutants if m.status != "invalid"], ARGS.tests_from)
        print(f"mutants: dropped {len(bad)} that do not compile, building again", flush=True)
    raise SystemExit("mutants: the build does not settle")


def run_tests(bdir, env_extra, timeout, fail_fast=True):
    """Runs the unit and then the GL tests; returns None when all pass, else why not."""
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", **env_extra)
    flags = ["--gtest_brief=1"] + (["--gtest_fail_fast"] if fail_fast else [])
    for exe in ("unit_tests", "gl_tests"):
        path = bdir / "tests" / exe
        try:
            r = subprocess.run([str(path)] + flags, cwd=bdir / "tests", env=env, timeout=timeout,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
        except subprocess.TimeoutExpired:
            return f"{exe}: timed out"
        if r.returncode != 0:
            failed = re.findall(r"^\[  FAILED  \] (\S+)", r.stdout, re.M)
            return f"{exe}: " + (failed[0] if failed else f"exit {r.returncode}")
    return None


def killers(bdir, env_extra, timeout):
    """Every test that fails under the mutant. A test that crashes or hangs
    its program is counted and the program runs again without it."""
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", **env_extra)
    found = []
    for exe in ("unit_tests", "gl_tests"):
        skip = []
        for _ in range(6):
            cmd = [str(bdir / "tests" / exe)] + ([f"--gtest_filter=-{':'.join(skip)}"] if skip else [])
            try:
                r = subprocess.run(cmd, cwd=bdir / "tests", env=env, timeout=timeout, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True, errors="replace")
                out, done = r.stdout, r.returncode in (0, 1)
            except subprocess.TimeoutExpired as e:
                out, done = (e.stdout or b"").decode(errors="replace"), False
            failed = set(re.findall(r"^\[  FAILED  \] ([^\s,]+).*\(\d+ ms\)$", out, re.M))
            found += sorted(failed)
            if done:
                if r.returncode != 0 and not failed:  # the program gave up before or after its tests
                    found.append(f"{exe}:whole program")
                break
            started = re.findall(r"^\[ RUN      \] (\S+)", out, re.M)
            ended = set(re.findall(r"^\[       OK \] (\S+)", out, re.M)) | failed
            stuck = [t for t in started if t not in ended]
            if not stuck:
                found.append(f"{exe}:whole program")
                break
            found.append(stuck[-1])
            skip += [stuck[-1]] + sorted(ended)
    return found


def matrix_section(mutants):
    """Per test: mutants killed, and those no other test kills."""
    by_test = collections.defaultdict(set)
    for m in mutants:
        for t in m.killers:
            by_test[t].add(m.id)
    killed_by = collections.Counter(i for ids in by_test.values() for i in ids)
    lines = ["", "## Kills per test", "", "| test | kills | kills no other test makes |", "|---|---|---|"]
    for t, ids in sorted(by_test.items(), key=lambda kv: (-len(kv[1]), kv[0])):
        lines.append(f"| {t} | {len(ids)} | {sum(killed_by[i] == 1 for i in ids)} |")
    return lines


def start_display():
    if os.environ.get("DISPLAY"):
        return None
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                             "-noreset"], pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    num = b""
    while not num.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            break
        num += chunk
    os.close(r)
    num = num.decode().strip()
    os.environ["DISPLAY"] = f":{num}"
    return proc


def report(out, mutants, elapsed):
    per = collections.OrderedDict((f, collections.Counter()) for f in ENGINE_FOLDERS)
    for m in mutants:
        per[m.site.folder()][m.status] += 1
    lines = ["# Mutation score", "",
             f"Sample: {len(mutants)} mutants, seed {ARGS.seed}; tests from "
             f"{ARGS.tests_from or 'the working tree'}; {elapsed:.0f} s.", "",
             "| folder | mutants | not valid | valid | killed | survived (reached) | survived (never reached) | score |",
             "|---|---|---|---|---|---|---|---|"]
    tot = collections.Counter()
    for f, c in per.items():
        valid = c["killed"] + c["survived"] + c["unreached"]
        tot.update(c)
        score = f"{100 * c['killed'] / valid:.1f} %" if valid else "-"
        lines.append(f"| {f} | {sum(c.values())} | {c['invalid']} | {valid} | {c['killed']} | {c['survived']} "
                     f"| {c['unreached']} | {score} |")
    valid = tot["killed"] + tot["survived"] + tot["unreached"]
    lines.append(f"| all | {sum(tot.values())} | {tot['invalid']} | {valid} | {tot['killed']} | {tot['survived']} "
                 f"| {tot['unreached']} | {100 * tot['killed'] / max(valid, 1):.1f} % |")
    lines += ["", "## Survivors", "", "| id | place | kind | original | mutated | reached |", "|---|---|---|---|---|---|"]
    for m in mutants:
        if m.status in ("survived", "unreached"):
            orig = m.site.original.replace("|", "\\|").replace("\n", " ")[:60]
            mut = m.site.mutated.replace("|", "\\|")
            lines.append(f"| {m.id} | {m.site.path}:{m.site.line} | {m.site.kind} | `{orig}` | `{mut}` "
                         f"| {'yes' if m.status == 'survived' else 'no'} |")
    if ARGS.matrix:
        lines += matrix_section(mutants)
    (out / "report.md").write_text("\n".join(lines) + "\n")
    (out / "results.json").write_text(json.dumps([
        {"id": m.id, "file": m.site.path, "line": m.site.line, "kind": m.site.kind, "original": m.site.original,
         "mutated": m.site.mutated, "status": m.status, "detail": m.detail, "killers": m.killers}
        for m in mutants], indent=1))
    print("\n".join(lines[:len(per) + 7]))


def main():
    out = ROOT / ARGS.out
    out.mkdir(parents=True, exist_ok=True)
    args = compile_args()
    sources = sorted(str(p.relative_to(ROOT)) for f in ENGINE_FOLDERS for p in (ROOT / f).glob("*.cpp")
                     if p.name != "main.cpp")
    cache_file = out / "sites.json"
    cache = json.loads(cache_file.read_text()) if cache_file.exists() else {}
    sites = []
    for rel in sources:
        sites += find_sites(rel, args, cache)
    cache_file.write_text(json.dumps(cache))
    chosen = sample(sites, ARGS.count, ARGS.seed)
    mutants = [Mutant(i + 1, s) for i, s in enumerate(chosen)]
    digest = hashlib.sha1("\n".join(f"{m.site.path}:{m.site.start}:{m.site.kind}:{m.site.mutated}"
                                    for m in mutants).encode()).hexdigest()[:12]
    print(f"mutants: {len(sites)} sites in {len(sources)} files, sample of {len(mutants)} (digest {digest})")
    if ARGS.only_list:
        for m in mutants:
            print(f"{m.id:4} {m.site.path}:{m.site.line} {m.site.kind}: {m.site.original[:50]!r} -> {m.site.mutated}")
        return 0
    started = time.time()
    work = ROOT / ARGS.out / "tree"
    write_tree(work, mutants, ARGS.tests_from)
    with open(out / "build.log", "w") as log:
        bdir = build(work, mutants, log, ["unit_tests", "gl_tests", "crs", "game_data"])
    display = start_display()
    try:
        trace = out / "reached.txt"
        trace.unlink(missing_ok=True)
        why = run_tests(bdir, {"TERVALO_MUTANT": "0", "TERVALO_MUTANT_TRACE": str(trace)}, 600, fail_fast=False)
        if why:
            raise SystemExit(f"mutants: the tests fail without any mutant ({why})")
        reached = {int(x) for x in trace.read_text().split()} if trace.exists() else set()
        valid = [m for m in mutants if m.status != "invalid"]
        for n, m in enumerate(valid, 1):
            if m.id not in reached:
                m.status = "unreached"
                continue
            if ARGS.matrix:
                m.killers = killers(bdir, {"TERVALO_MUTANT": str(m.id)}, ARGS.timeout)
                why = ", ".join(m.killers)
            else:
                why = run_tests(bdir, {"TERVALO_MUTANT": str(m.id)}, ARGS.timeout)
            m.status, m.detail = ("killed", why) if why else ("survived", "")
            print(f"mutants: {n}/{len(valid)} #{m.id} {m.site.path}:{m.site.line} {m.site.kind} -> {m.status}",
                  flush=True)
    finally:
        if display:
            display.terminate()
    report(out, mutants, time.time() - started)
    return 0


if __name__ == "__main__":
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--count", type=int, default=300)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--out", default="build/mutants")
    p.add_argument("--timeout", type=int, default=120, help="seconds per test program and mutant")
    p.add_argument("--tests-from", default=None, help="git revision whose tests/ to run instead")
    p.add_argument("--only-list", action="store_true", help="print the sample and stop")
    p.add_argument("--matrix", action="store_true", help="every test against every reached mutant")
    ARGS = p.parse_args()
    sys.exit(main())
