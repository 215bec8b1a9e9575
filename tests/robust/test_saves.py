"""Saves survive a kill and failing file operations.

Run by ctest with small counts; for the full figures:

    python3 tests/robust/test_saves.py --kills 1000 BUILD_DIR

Kill test: a helper saves generation after generation and is killed with
SIGKILL at a random moment; the next start must load the last generation it
reported or the one it was writing, whole. Fault matrix: for every space
budget in 512-byte steps, a save of generation 2 over generation 1 with each
of open, write, fsync, close and rename failing in turn (through an
LD_PRELOAD shim), on a small tmpfs when one can be mounted; the save must
leave generation 1 or 2, whole. A failed open of the temporary file is what
a read-only save folder gives, so those runs also cover the in-place
fallback.
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = os.environ.get("TERVALO_BUILD_DIR", "")
KILLS = int(os.environ.get("TERVALO_KILLS", "50"))
OPS = ["none", "open", "write", "fsync", "close", "rename"]


def tool():
    return os.path.join(BUILD, "tests", "save_torture")


def shim():
    return os.path.join(BUILD, "tests", "libfault_shim.so")


def check(path):
    out = subprocess.run([tool(), "check", path], capture_output=True, text=True).stdout.strip()
    return int(out.split()[1]) if out.startswith("gen ") else -1


def kill_test(kills, seed=1):
    """Returns counts: runs, old, new, lost."""
    rng = random.Random(seed)
    counts = {"runs": 0, "old": 0, "new": 0, "lost": 0}
    work = tempfile.mkdtemp(prefix="tervalo_kill_")
    path = os.path.join(work, "save", "sav01.bin")
    last = 0  # the generation on disk before each run
    try:
        for _ in range(kills):
            p = subprocess.Popen([tool(), "loop", path, str(last + 1)], stdout=subprocess.PIPE, text=True)
            time.sleep(rng.uniform(0.0, 0.03))
            p.send_signal(signal.SIGKILL)
            out, _ = p.communicate()
            saved = [int(l.split()[1]) for l in out.splitlines() if l.startswith("saved ")]
            reported = saved[-1] if saved else last
            got = check(path)
            counts["runs"] += 1
            if got == reported:
                counts["old"] += 1
            elif got == reported + 1:
                counts["new"] += 1
            elif got == -1 and last == 0 and not saved and not os.path.exists(path):
                counts["old"] += 1  # killed before the very first save: nothing yet
                continue
            else:
                counts["lost"] += 1
                print(f"kill: reported {reported}, loaded {got}", file=sys.stderr)
            last = max(got, 0)
        counts["litter"] = len([f for f in os.listdir(os.path.dirname(path)) if f != "sav01.bin"]) \
            if os.path.isdir(os.path.dirname(path)) else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return counts


def can_mount_tmpfs():
    try:
        r = subprocess.run(["unshare", "-r", "-m", "sh", "-c", "mount -t tmpfs -o size=8k tmpfs /mnt"],
                           capture_output=True, timeout=10)
        return r.returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def fault_matrix(step=512):
    """Returns counts: runs, old, new, lost, and the file size and tmpfs use."""
    counts = {"runs": 0, "old": 0, "new": 0, "lost": 0}
    work = tempfile.mkdtemp(prefix="tervalo_faults_")
    tmpfs = can_mount_tmpfs()
    counts["tmpfs"] = tmpfs
    try:
        # The size of generation 2 bounds the budgets worth trying.
        probe = os.path.join(work, "probe.bin")
        subprocess.run([tool(), "once", probe, "2"], check=True, capture_output=True)
        size = os.path.getsize(probe)
        counts["size"] = size
        save_dir = os.path.join(work, "save")
        os.makedirs(save_dir)
        target = os.path.join(save_dir, "sav01.bin")
        budgets = list(range(0, size + step + 1, step)) + [None]
        for budget in budgets:
            for op in OPS:
                env = dict(os.environ, TERVALO_FAULT_DIR=save_dir, TERVALO_FAULT_OP=op,
                           LD_PRELOAD=shim())
                if budget is not None:
                    env["TERVALO_FAULT_SPACE"] = str(budget)
                # One shell run: (mount,) the old save, the faulty save, the check.
                script = (
                    (f"mount -t tmpfs -o size=16k tmpfs '{save_dir}' && " if tmpfs else
                     f"rm -rf '{save_dir}' && mkdir -p '{save_dir}' && ")
                    + f"env -u LD_PRELOAD '{tool()}' once '{target}' 1 && "
                    + f"'{tool()}' once '{target}' 2; "
                    + f"env -u LD_PRELOAD '{tool()}' check '{target}'; "
                    + f"ls -A '{save_dir}' | wc -l")
                cmd = ["unshare", "-r", "-m", "sh", "-c", script] if tmpfs else ["sh", "-c", script]
                r = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=60)
                lines = r.stdout.split("\n")
                got = -1
                for line in lines:
                    if line.startswith("gen "):
                        got = int(line.split()[1])
                counts["runs"] += 1
                if got == 1:
                    counts["old"] += 1
                elif got == 2:
                    counts["new"] += 1
                else:
                    counts["lost"] += 1
                    print(f"faults: budget {budget} op {op}: {r.stdout!r} {r.stderr!r}", file=sys.stderr)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return counts


class Saves(unittest.TestCase):
    def setUp(self):
        if not os.path.exists(tool()):
            self.skipTest("save_torture not built")

    def test_kill_at_random_moments(self):
        c = kill_test(KILLS)
        print(f"kill test: {c}", file=sys.stderr)
        self.assertEqual(c["lost"], 0, c)
        self.assertEqual(c["runs"], KILLS)
        self.assertGreater(c["old"] + c["new"], 0)

    def test_fault_matrix(self):
        c = fault_matrix()
        print(f"fault matrix: {c}", file=sys.stderr)
        self.assertEqual(c["lost"], 0, c)
        # Without faults and with room the new save lands; every failing
        # operation before the rename keeps the old one.
        self.assertGreater(c["new"], 0)
        self.assertGreater(c["old"], 0)


if __name__ == "__main__":
    args = sys.argv[1:]
    if "--kills" in args:
        i = args.index("--kills")
        KILLS = int(args[i + 1])
        del args[i:i + 2]
    if args:
        BUILD = args.pop(0)
    unittest.main(argv=[sys.argv[0], "-v"] + args)
