#!/usr/bin/env python3
"""Proves that every fuzz target can find a fault in its reader.

Copies the sources into a scratch tree (build-plant/), plants one fault in
each reader there - a heap read one byte past a buffer, behind a condition
on the data the reader has just taken apart - builds the fuzz targets in
the scratch tree and runs each target until it reports its planted fault.
The repository's own sources are never touched. Each plant fires only in
the target it belongs to (TERVALO_PLANT names it), so a reader that several
targets share is found by its own target.

    scripts/fuzz_plant.py [--limit SECONDS] [NAME...]

Prints the seconds (wall clock and processor) each target took; fails when
a target does not find its fault within the limit (60 s of processor time
by default; on a loaded machine the wall clock runs longer) or when a
plant's anchor line is no longer in its source.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The condition each plant waits for: a word the reader took apart that
# begins "Zq7" (a chunk type "zqQa" for images, the bytes the sound decoder
# asks for), or a field of the controls file with a value no seed holds.
WORD = 'tervaloPlantWord({})'
PLANTS = {
    # target: (file, anchor text (the plant goes right after it), condition)
    'fuzz_resfile': ('resources/resfile.cpp', 'name.resize(strnlen(name.data(), nameLength));',
                     WORD.format('name')),
    'fuzz_database': ('resources/database.cpp', 'if (!in.text(len, key) || !in.u32(v)) goto truncated;',
                      WORD.format('key')),
    'fuzz_controls': ('world/player.cpp', 'keysB[i] = readU32(buf + kCountBytes + kPairBytes * i + 4);',
                      'keysB[i] == 0x5a5a5a5au'),
    'fuzz_ini': ('resources/ini_file.cpp', 'const std::string name = line.substr(1, line.size() - 2);',
                 WORD.format('name')),
    'fuzz_parser': ('resources/parser.cpp', 'elements_.push_back({runStart, runLength});',
                    WORD.format('text_.substr(runStart, runLength)')),
    'fuzz_settings': ('resources/game_settings.cpp', 'std::string value = trim(line.substr(eq + 1));',
                      WORD.format('value')),
    'fuzz_anims': ('render/sprite_anims.cpp', 'const std::string first = words.show(0);',
                   WORD.format('first')),
    'fuzz_weapons': ('world/weapon.cpp', 'const std::string spec = words.show(4);', WORD.format('spec')),
    'fuzz_level': ('world/level_load.cpp', 'const LevelCommand* c = LevelCommand::find(w.show(0));',
                   WORD.format('w.show(0)')),
    'fuzz_dialog': ('dialog/dialog.cpp', 'const std::string cmd = lineAt(block, line);', WORD.format('cmd')),
    'fuzz_image': ('render/png_check.cpp', "const bool critical = type[0] >= 'A' && type[0] <= 'Z';",
                   'std::string(reinterpret_cast<const char*>(type), 4).compare("zqQa") == 0'),
    'fuzz_sound': ('sound/audio_stream.cpp',
                   'std::memcpy(ptr, self->mem.data() + self->at, static_cast<size_t>(n));',
                   WORD.format('std::string(static_cast<const char*>(ptr), static_cast<size_t>(n))')),
    'fuzz_tiled': ('maps/tiled_read.cpp', 'l.name = n.attribute("name").value();', WORD.format('l.name')),
    'fuzz_check': ('check/game_check.cpp', 'seen[w.show(0)] = ln;', WORD.format('w.show(0)')),
}

PRELUDE = '''#include <cstdlib>
#include <cstring>
#include <string>
[[maybe_unused]] static bool tervaloPlantOn() {
  static const bool on = [] {
    const char* e = std::getenv("TERVALO_PLANT");
    return e && std::strcmp(e, "%s") == 0;
  }();
  return on;
}
[[maybe_unused]] static bool tervaloPlantWord(const std::string& s) {
  return s.size() >= 3 && s.compare(0, 3, "Zq7") == 0;
}
[[maybe_unused]] static void tervaloPlantFault() {
  volatile char* p = new char[4];
  p[0] = p[4];
  delete[] p;
}
'''


def copy_tree(dst):
    files = subprocess.run(['git', 'ls-files', '-z'], cwd=ROOT, check=True,
                           capture_output=True).stdout.decode().split('\0')
    keep = set(f for f in files if f)
    # Sources deleted since the last copy would still be globbed into the build.
    for dirpath, dirnames, filenames in os.walk(dst):
        if os.path.relpath(dirpath, dst).split(os.sep)[0].startswith('build-'):
            dirnames[:] = []
            continue
        for n in filenames:
            rel = os.path.relpath(os.path.join(dirpath, n), dst)
            if rel not in keep:
                os.remove(os.path.join(dirpath, n))
    for f in files:
        if not f or f.startswith('fuzz/corpus/'):
            continue
        src = os.path.join(ROOT, f)
        if not os.path.isfile(src):
            continue
        out = os.path.join(dst, f)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        if not os.path.exists(out) or open(out, 'rb').read() != open(src, 'rb').read():
            shutil.copy2(src, out)


def plant(dst, target):
    path, anchor, cond = PLANTS[target]
    src = open(os.path.join(ROOT, path)).read()
    if src.count(anchor) != 1:
        sys.exit(f'plant: the anchor of {target} is not (once) in {path}; update {__file__}')
    code = f' if (tervaloPlantOn() && ({cond})) tervaloPlantFault();'
    text = PRELUDE % target + src.replace(anchor, anchor + code)
    out = os.path.join(dst, path)
    if not os.path.exists(out) or open(out).read() != text:
        open(out, 'w').write(text)


def cpu_seconds(pid):
    try:
        fields = open(f'/proc/{pid}/stat').read().rsplit(')', 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def run(build, target, limit, work):
    """Fuzzes until the plant is found or the target has had `limit`
    seconds of processor time (a loaded machine stretches the wall clock:
    the run is cut at five times the limit)."""
    corpus = os.path.join(work, 'corpus', target)
    shutil.rmtree(corpus, ignore_errors=True)
    os.makedirs(corpus)
    seeds = os.path.join(ROOT, 'fuzz', 'corpus', target)
    log = os.path.join(work, target + '.log')
    env = dict(os.environ, TERVALO_PLANT=target)
    # A generous unit timeout: a stalled machine must not pass for a find.
    cmd = [os.path.join(build, 'fuzz', target), corpus, seeds, '-timeout=30',
           '-rss_limit_mb=512', '-malloc_limit_mb=256', f'-artifact_prefix={work}/{target}-']
    start = time.time()
    cpu = 0.0
    with open(log, 'w') as out:
        proc = subprocess.Popen(cmd, env=env, stdout=out, stderr=subprocess.STDOUT)
        while proc.poll() is None:
            time.sleep(0.2)
            now = cpu_seconds(proc.pid)
            if now is not None:
                cpu = now
            if cpu > limit or time.time() - start > 5 * limit:
                proc.send_signal(signal.SIGINT)
                try:
                    proc.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        rc = proc.returncode
    wall = time.time() - start
    text = open(log, errors='replace').read()
    found = rc not in (0, None) and 'heap-buffer-overflow' in text and 'tervaloPlantFault' in text
    execs = re.findall(r'^#(\d+)\s', text, re.M)
    return found, wall, cpu, int(execs[-1]) if execs else 0, log


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--limit', type=int, default=60)
    ap.add_argument('--jobs', default=os.environ.get('JOBS', '2'))
    ap.add_argument('--build-only', action='store_true', help='plant and build, run nothing')
    ap.add_argument('targets', nargs='*')
    args = ap.parse_args()
    targets = args.targets or sorted(PLANTS)
    for t in targets:
        if t not in PLANTS:
            sys.exit(f'plant: no plant for {t}')
    missing = sorted(set(os.path.splitext(f)[0] for f in os.listdir(os.path.join(ROOT, 'fuzz'))
                         if f.endswith('.cpp')) - set(PLANTS))
    if missing:
        print('plant: targets without a plant: ' + ' '.join(missing), file=sys.stderr)

    # The scratch tree mirrors the repository's layout (sources, then the
    # build folder beside them), so the compiler cache serves every file
    # that carries no plant.
    work = os.path.join(ROOT, 'build-plant')
    build = os.path.join(work, 'build-fuzz')
    copy_tree(work)
    for t in PLANTS:
        plant(work, t)
    if not os.path.isfile(os.path.join(build, 'CMakeCache.txt')):
        subprocess.run(['cmake', '-S', work, '-B', build, '-DCMAKE_BUILD_TYPE=RelWithDebInfo',
                        '-DTERVALO_FUZZ=ON'], check=True, stdout=subprocess.DEVNULL,
                       env=dict(os.environ, CC='clang-14', CXX='clang++-14'))
    subprocess.run(['cmake', '--build', build, '-j' + args.jobs, '--target'] + targets, check=True,
                   stdout=subprocess.DEVNULL)
    if args.build_only:
        return 0

    print(f'{"target":16} {"found":>6} {"wall s":>7} {"cpu s":>6} {"execs":>8}')
    failed = []
    for t in targets:
        found, wall, cpu, execs, log = run(build, t, args.limit, os.path.join(build, 'plant'))
        print(f'{t:16} {"yes" if found else "NO":>6} {wall:7.1f} {cpu:6.1f} {execs:8}', flush=True)
        if not found:
            failed.append(t)
    if failed:
        print('plant: not found within the limit: ' + ' '.join(failed) + f' (logs in {build}/plant/)',
              file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
