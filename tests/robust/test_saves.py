"""Saves survive a kill at a random moment and failing file operations (each of open, write, fsync, close
and rename through an LD_PRELOAD shim, at every free-space budget): the file holds the old or the new
generation, whole. TERVALO_KILLS sets the number of kills (50 by default, 1000 for full figures)."""
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = os.environ.get("TERVALO_BUILD_DIR", "")
KILLS = int(os.environ.get("TERVALO_KILLS", "50"))


def tool(*args):
    return [os.path.join(BUILD, "tests", "save_torture"), *args]


def generation(text):
    """The generation `save_torture check` printed, or -1 (nothing whole)."""
    found = [int(l.split()[1]) for l in text.splitlines() if l.startswith("gen ")]
    return found[-1] if found else -1


def kill_test(kills, seed=1):
    """Counts of runs that left the generation reported (old), the next one
    (new) or anything else (lost), and of files left beside the save."""
    rng = random.Random(seed)
    counts = {"old": 0, "new": 0, "lost": 0}
    with tempfile.TemporaryDirectory(prefix="tervalo_kill_") as work:
        path = os.path.join(work, "save", "sav01.bin")
        last = 0  # the generation on disk before each run
        for _ in range(kills):
            p = subprocess.Popen(tool("loop", path, str(last + 1)), stdout=subprocess.PIPE, text=True)
            time.sleep(rng.uniform(0.0, 0.03))
            p.send_signal(signal.SIGKILL)
            saved = [int(l.split()[1]) for l in p.communicate()[0].splitlines() if l.startswith("saved ")]
            reported = saved[-1] if saved else last
            got = generation(subprocess.run(tool("check", path), capture_output=True, text=True).stdout)
            if got in (reported, reported + 1) or (got == -1 and last == 0 and not saved
                                                   and not os.path.exists(path)):  # killed before the first save
                counts["old" if got != reported + 1 else "new"] += 1
            else:
                counts["lost"] += 1
                print(f"kill: reported {reported}, loaded {got}", file=sys.stderr)
            last = max(got, 0)
        counts["litter"] = sweep(path, last + 1)
    return counts


def sweep(path, gen):
    """The next whole save removes the temporary files killed saves left (and
    one planted), but neither one a writer still holds nor files not its own:
    what differs from that."""
    folder = os.path.dirname(path)
    os.makedirs(folder, exist_ok=True)
    keep = ["sav01.bin.backup", "sav02.bin.tmp-abc123", "sav01.bin.tmp-abc12", "sav01.bin.tmp-Held42"]
    for name in keep + ["sav01.bin.tmp-Zz9Q1x"]:
        open(os.path.join(folder, name), "w").close()
    holder = subprocess.Popen(["flock", os.path.join(folder, keep[-1]), "sleep", "30"])
    try:
        time.sleep(0.2)
        subprocess.run(tool("once", path, str(gen)), check=True, capture_output=True)
        return sorted((set(os.listdir(folder)) - {"sav01.bin"}) ^ set(keep))
    finally:
        holder.kill()
        holder.wait()


def can_mount_tmpfs():
    try:
        return subprocess.run(["unshare", "-r", "-m", "sh", "-c", "mount -t tmpfs -o size=8k tmpfs /mnt"],
                              capture_output=True, timeout=10).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def fault_matrix(step=512):
    """Counts of runs that left generation 1 (old), 2 (new) or anything else
    (lost), the faults that fired, the file size and whether a tmpfs was used."""
    counts = {"runs": 0, "old": 0, "new": 0, "lost": 0, "fired": set()}
    with tempfile.TemporaryDirectory(prefix="tervalo_faults_") as work:
        counts["tmpfs"] = tmpfs = can_mount_tmpfs()
        # The size of generation 2 bounds the budgets worth trying.
        subprocess.run(tool("once", os.path.join(work, "probe.bin"), "2"), check=True, capture_output=True)
        counts["size"] = size = os.path.getsize(os.path.join(work, "probe.bin"))
        folder = os.path.join(work, "save")
        os.makedirs(folder)
        target = os.path.join(folder, "sav01.bin")
        save, check = " ".join(f"'{a}'" for a in tool("once", target)), " ".join(f"'{a}'" for a in tool("check"))
        for budget in list(range(0, size + step + 1, step)) + [None]:
            for op in ("none", "open", "write", "fsync", "close", "rename"):
                env = dict(os.environ, TERVALO_FAULT_DIR=folder, TERVALO_FAULT_OP=op,
                           LD_PRELOAD=os.path.join(BUILD, "tests", "libfault_shim.so"))
                if budget is not None:
                    env["TERVALO_FAULT_SPACE"] = str(budget)
                # One shell run: (mount,) the old save, the faulty save, the check. A failing open of
                # the temporary file is what a read-only folder gives: the in-place fallback runs.
                script = ((f"mount -t tmpfs -o size=16k tmpfs '{folder}' && " if tmpfs else
                           f"rm -rf '{folder}' && mkdir -p '{folder}' && ")
                          + f"env -u LD_PRELOAD {save} 1 && {save} 2; env -u LD_PRELOAD {check} '{target}'")
                cmd = ["unshare", "-r", "-m", "sh", "-c", script] if tmpfs else ["sh", "-c", script]
                r = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=60)
                got = generation(r.stdout)
                counts["fired"] |= {l[7:] for l in r.stderr.splitlines() if l.startswith("fault: ")}
                counts["runs"] += 1
                counts[{1: "old", 2: "new"}.get(got, "lost")] += 1
                if got not in (1, 2):
                    print(f"faults: budget {budget} op {op}: {r.stdout!r} {r.stderr!r}", file=sys.stderr)
    return counts


class Saves(unittest.TestCase):
    def test_kill_at_random_moments(self):
        c = kill_test(KILLS)
        print(f"kill test: {c}", file=sys.stderr)
        self.assertEqual((c["lost"], c["litter"]), (0, []), c)

    def test_fault_matrix(self):
        c = fault_matrix()
        print(f"fault matrix: {c}", file=sys.stderr)
        self.assertEqual(c["lost"], 0, c)
        self.assertEqual(c["fired"], {"open", "write", "fsync", "close", "rename", "space"}, c)
        # Without faults and with room the new save lands; every failing
        # operation before the rename keeps the old one.
        self.assertGreater(c["new"], 0)
        self.assertGreater(c["old"], 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
