#!/usr/bin/env python3
"""scripts/convert-across.sh over SSH machines of its own (ssh_nodes.py, three sshd on
127.0.0.2-4): the outputs are a local batch's byte for byte, with a shared folder and with
--transfer; a machine that dies half-way costs nothing but time; an interrupted run is
finished by the next; names travel as bytes; failures are named and counted.

    across_test.py --qynconvert build/app/qynconvert --script scripts/convert-across.sh

Exits 77 (skipped) with the reason when sshd, parallel, perl or rsync is missing."""

import argparse
import collections
import ctypes
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ssh_nodes  # noqa: E402
from image_files import bmp, gray_png  # noqa: E402

SKIPPED = 77
ARGS = None
NODES = None
ROOT = None

# Names a shell would split, expand or run; the two `touch` ones leave a marker if they are.
HOSTILE = [b"with space", b"quote'single", b'quote"double', b"$(touch pwned)", b"`touch pwned`",
           b"new\nline", b"bad\xff\xfeutf8", b"-dash", b"{}", b"{#}", b"back\\slash", b"tab\there",
           b"semi;colon&", b"star*", b"glob?[a]"]


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(os.fsencode(folder), name), "wb") as f:
        f.write(data)


def make_inputs(folder, names, channels, size=(37, 21), folders=1):
    """The same names in `folders` folders folder0, folder1, ... (one for most kinds, three
    for compose), each file a different image."""
    paths = [f"{folder}{i}" for i in range(folders)] if folders > 1 else [folder]
    for n, name in enumerate(names):
        for i, path in enumerate(paths):
            write(path, name, bmp(size[0] + n % 5, size[1] + n % 3, channels, n * 3 + i))
    return paths


def files_of(folder):
    """Every name in a folder, hidden ones too, with its bytes."""
    result = {}
    for name in os.listdir(os.fsencode(folder)):
        with open(os.path.join(os.fsencode(folder), name), "rb") as f:
            result[name] = f.read()
    return result


class Renames:
    """Counts each name that appears in the folders (renamed or created there) while it
    watches, through inotify: an output saved twice is counted twice."""
    IN_CREATE, IN_MOVED_TO, IN_Q_OVERFLOW = 0x100, 0x80, 0x4000

    def __init__(self, folders):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        assert self.fd >= 0, os.strerror(ctypes.get_errno())
        self.folders = {}
        for folder in folders:
            wd = self.libc.inotify_add_watch(self.fd, os.fsencode(folder), self.IN_CREATE | self.IN_MOVED_TO)
            assert wd >= 0, os.strerror(ctypes.get_errno())
            self.folders[wd] = folder

    def collect(self):
        """Counts since the last call: {(folder, name): times}, hidden names left out."""
        counts = collections.Counter()
        while True:
            try:
                data = os.read(self.fd, 1 << 16)
            except BlockingIOError:
                return counts
            offset = 0
            while offset < len(data):
                wd, mask, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16:offset + 16 + length].rstrip(b"\0")
                offset += 16 + length
                assert not mask & self.IN_Q_OVERFLOW, "inotify lost events"
                if wd in self.folders and not name.startswith(b"."):
                    counts[(self.folders[wd], name)] += 1

    def close(self):
        os.close(self.fd)


def script_env(**extra):
    env = dict(os.environ, PATH=f"{ROOT}/bin:{os.environ['PATH']}", HOME=f"{ROOT}/home-here")
    env.pop("QYNCONVERT", None)
    env.update(extra)
    return env


def across(*args):
    """The script's command line with our machines' ssh configuration."""
    return [ARGS.script, "--ssh", NODES.ssh, *args]


def run_across(*args, env=None, timeout=180):
    return subprocess.run(across(*args), env=env or script_env(), cwd=f"{ROOT}/cwd", capture_output=True,
                          timeout=timeout)


def local_batch(kind, folders, options=()):
    return subprocess.run([ARGS.qynconvert, kind, "--batch", *folders, *options, "--quiet"], capture_output=True)


def descendants_named(root, name):
    found = []
    for pid in ssh_nodes.process_tree(root):
        try:
            with open(f"/proc/{pid}/comm") as f:
                if f.read().strip() == name:
                    found.append(pid)
        except OSError:
            pass
    return found


def share_running(written):
    """A machine whose qynconvert has written `written` bytes and goes on, or None."""
    for node in NODES.nodes:
        for pid in descendants_named(node.process.pid, "qynconvert"):
            if bytes_written(pid) >= written:
                return node
    return None


def bytes_written(pid):
    try:
        with open(f"/proc/{pid}/io") as f:
            return int(next(line for line in f if line.startswith("wchar:")).split()[1])
    except (OSError, StopIteration):
        return 0


class StderrLines:
    """Reads a process's stderr as it comes, so a test can act on a line."""

    def __init__(self, process):
        self.lines, self.cond, self.stream = [], threading.Condition(), process.stderr
        self.thread = threading.Thread(target=self.read, args=(process.stderr,), daemon=True)
        self.thread.start()

    def read(self, stream):
        for line in stream:
            with self.cond:
                self.lines.append(line)
                self.cond.notify_all()

    def wait_for(self, text, timeout=120):
        with self.cond:
            return self.cond.wait_for(lambda: any(text in line for line in self.lines), timeout)

    def text(self):
        self.thread.join(60)
        self.stream.close()
        return b"".join(self.lines)


def wait_until(condition, seconds=30, step=0.05):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(step)
    return True


def connection_masters():
    """ssh connection masters of our machines that are still running."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                words = f.read().split(b"\0")
        except OSError:
            continue
        if b"-MT" in words and os.fsencode(NODES.config) in words:
            found.append(int(pid))
    return found


def start(command):
    """A run of the script in the background, its stderr read as it comes."""
    process = subprocess.Popen(command, env=script_env(), cwd=f"{ROOT}/cwd", stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    return process, StderrLines(process)


def stop(process):
    """Ends a run that a failed test left going: a second SIGTERM stops the shares at once."""
    if process.poll() is None:
        process.terminate()
        time.sleep(0.2)
        process.terminate()
        try:
            process.wait(30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class AcrossMachines(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(dir=ROOT, prefix="case-")
        # A machine killed by a test is back for the next.
        for node in NODES.nodes:
            if not node.alive():
                NODES.start_node(node)

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path

    def colour_case(self, name, names):
        """Gray inputs for `color` in a folder of the row's, the local batch's outputs in ref."""
        case = self.folder(name)
        inputs = make_inputs(f"{case}/in", names, 1, size=(160, 120))
        out, ref = self.folder(f"{case}/out"), self.folder(f"{case}/ref")
        self.assertEqual(local_batch("color", inputs + [ref]).returncode, 0)
        return inputs, out, ref

    def assertSameFiles(self, out, reference, what):
        got, want = files_of(out), files_of(reference)
        self.assertEqual(sorted(got), sorted(want), f"{what}: names")
        for name in want:
            self.assertEqual(got[name], want[name], f"{what}: {name!r} differs from the local batch")

    def assertNoMarker(self):
        for top, _, files in os.walk(ROOT):
            self.assertNotIn("pwned", files, f"a name was run by a shell in {top}")

    # Each row converts names that a shell would mangle on three machines; every output is
    # the local batch's, saved once, and nothing else lies in the output folders.
    def test_outputs_are_a_local_batch_byte_for_byte(self):
        names = [b"f%03d.bmp" % i for i in range(20)] + [h + b".bmp" for h in HOSTILE]
        rows = [("shared folder, decompose", [], "decompose", 3, 1, ()),
                ("--transfer, compose, --format png", ["--transfer"], "compose", 1, 3, ("--format", "png"))]
        for name, mode, kind, outputs, sources, options in rows:
            with self.subTest(name):
                case = self.folder(name.split(",")[0].strip("-"))
                inputs = make_inputs(f"{case}/in", names, 3 if kind == "decompose" else 1, folders=sources)
                # The folders' names are hostile too: they travel in the environment.
                outs = [self.folder(f"{case}/out {{#}} {{}} $(touch pwned) {i}") for i in range(outputs)]
                refs = [self.folder(f"{case}/ref{i}") for i in range(outputs)]
                self.assertEqual(local_batch(kind, inputs + refs, options).returncode, 0)
                renames = Renames(outs)
                result = run_across(*mode, "-S", "node1,node2,node3", "--share", "4", kind, *inputs, *outs, *options)
                stderr = result.stderr.decode(errors="replace")
                self.assertEqual(result.returncode, 0, stderr)
                for out, ref in zip(outs, refs):
                    self.assertSameFiles(out, ref, name)
                saved = renames.collect()
                renames.close()
                self.assertEqual(set(saved.values()), {1}, f"outputs saved more than once: {saved}")
                self.assertEqual(len(saved), len(names) * outputs)
                self.assertIn(f"share 1/{-(-len(names) // 4)}", stderr)  # progress, share by share
                self.assertIn(f"{len(names)} of {len(names)} done", stderr)
                self.assertIn(f"{len(names)} converted, 0 failed, 0 skipped of {len(names)}", stderr)
                self.assertNoMarker()

    # A machine dies (sshd, its sessions and their qynconvert killed at once) while its
    # share is half done: the run finishes on the others, every output is saved exactly
    # once and whole, and the summary names the lost machine.
    def test_a_machine_that_dies_half_way(self):
        names = [b"f%03d.bmp" % i for i in range(90)] + [HOSTILE[3] + b".bmp", HOSTILE[5] + b".bmp"]
        output_size = len(bmp(160, 120, 3, 0))
        for mode in ([], ["--transfer"]):
            with self.subTest(mode[0] if mode else "shared folder"):
                inputs, out, ref = self.colour_case(mode[0] if mode else "shared folder", names)
                renames = Renames([out])
                process, lines = start(
                    across(*mode, "-S", "node1,node2,node3", "--share", "10", "color", *inputs, out, "--jobs", "1"))
                try:
                    victim = self.kill_a_machine_in_a_share(2 * output_size)
                    process.wait(180)
                finally:
                    stop(process)
                stderr = lines.text().decode(errors="replace")
                self.assertIsNotNone(victim, "no share was caught in the middle: " + stderr)
                self.assertEqual(process.returncode, 0, stderr)
                self.assertRegex(stderr, f"{victim.name}: [0-9]+ tries of shares failed there and went elsewhere; "
                                         "the first: the machine could not be reached or was lost")
                self.assertIn(f"{len(names)} converted, 0 failed", stderr)
                got = files_of(out)
                # A kill between naming and renaming a save can leave its whole, hidden
                # temporary beside the outputs (the save's own business); never a part.
                for name in [n for n in got if n.startswith(b".qyn-") and not mode]:
                    del got[name]
                self.assertEqual(got, files_of(ref))
                saved = renames.collect()
                renames.close()
                self.assertEqual(set(saved.values()), {1}, f"outputs saved more than once: {saved}")
                self.assertEqual(len(saved), len(names))
                self.assertNoMarker()

    @staticmethod
    def kill_a_machine_in_a_share(written):
        """Waits for a qynconvert of one of the machines that has written `written` bytes
        and kills that machine; returns it, or None when no share was caught."""
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            node = share_running(written)
            if node:
                NODES.kill(node)
                return node
            time.sleep(0.002)
        return None

    # SIGINT to the script: no new share starts, the running ones finish, what is saved is
    # whole; a second SIGINT stops the running shares too, and no connection of the run is
    # left behind. The same command again converts exactly what is missing.
    def test_an_interrupted_run_is_finished_by_the_next(self):
        names = [b"f%03d.bmp" % i for i in range(60)] + [HOSTILE[0] + b".bmp"]
        rows = [("shared folder, SIGINT", [], 1), ("--transfer, SIGINT", ["--transfer"], 1),
                ("shared folder, SIGINT twice", [], 2)]
        for name, mode, signals in rows:
            with self.subTest(name):
                inputs, out, ref = self.colour_case(name, names)
                command = across(*mode, "-S", "node1,node2,node3", "--share", "5", "color", *inputs, out, "--jobs", "1")
                renames = Renames([out])
                process, lines = start(command)
                try:
                    # The signals have to come while shares run (after a first one finished,
                    # with one signal, so that the next run has files to skip). A share lives
                    # a few milliseconds past its first file: look often.
                    if signals == 1:
                        self.assertTrue(lines.wait_for(b" done"), "no share finished")
                    self.assertTrue(wait_until(lambda: share_running(len(bmp(160, 120, 3))), step=0.002),
                                    "no share ran")
                    for _ in range(signals):
                        process.send_signal(signal.SIGINT)
                        time.sleep(0.05)
                    process.wait(120)
                finally:
                    stop(process)
                stderr = lines.text().decode(errors="replace")
                self.assertEqual(process.returncode, 128 + signal.SIGINT, stderr)
                self.assertIn("stopped by SIGINT", stderr)
                # Cut off, the machines finish the files they have in flight, then end.
                self.assertTrue(wait_until(lambda: not any(descendants_named(n.process.pid, "qynconvert")
                                                           for n in NODES.nodes)), "qynconvert goes on")
                self.assertTrue(wait_until(lambda: not connection_masters()), "connections left behind")
                reference = files_of(ref)
                first = files_of(out)
                self.assertLess(len(first), len(names), "the signal came after the end")
                for output, data in first.items():
                    self.assertEqual(data, reference.get(output), f"{output!r} after the interruption")
                saved_first = renames.collect()

                result = subprocess.run(command, env=script_env(), cwd=f"{ROOT}/cwd", capture_output=True,
                                        timeout=180)
                stderr = result.stderr.decode(errors="replace")
                self.assertEqual(result.returncode, 0, stderr)
                self.assertEqual(files_of(out), reference)
                saved_again = renames.collect()
                renames.close()
                self.assertEqual({n for _, n in saved_again}, set(reference) - set(first))
                self.assertEqual(set((saved_first + saved_again).values()), {1})
                missing = len(names) - len(first)
                self.assertIn(f"{missing} converted, 0 failed, {len(first)} skipped of {len(names)}", stderr)

    # Files that fail, and two inputs with one output in different shares (found before
    # any share runs), are named; the others are converted; the exit code is 5.
    def test_failed_files_are_named(self):
        case = self.dir
        names = [b"f%03d.bmp" % i for i in range(6)]
        make_inputs(f"{case}/in", names + [b"a.bmp"], 3)
        write(f"{case}/in", b"a.png", gray_png(9, 7))
        write(f"{case}/in", b"broken\nnew.bmp", b"BM not an image")
        write(f"{case}/in", b"broken.bmp", b"BM not an image either")
        out, ref = self.folder("out"), self.folder("ref")
        local_batch("gray", [f"{case}/in", ref], ("--format", "png"))
        result = run_across("-S", "node1,node2", "--share", "1", "gray", f"{case}/in", out, "--format", "png")
        stderr = result.stderr.decode(errors="replace")
        self.assertEqual(result.returncode, 5, stderr)
        collision = stderr.index(f"Cannot write {out}/a.png: another input of the batch has that output ({case}/in/a.png)")
        self.assertLess(collision, stderr.index("share 1/"), "the collision was found after shares ran")
        for shown in (f"{case}/in/broken.bmp", f"$'{case}/in/broken\\nnew.bmp'", f"{case}/in/a.png"):
            self.assertIn(f"not converted: {shown}", stderr)
        self.assertIn("7 converted, 3 failed, 0 skipped of 10", stderr)
        self.assertSameFiles(out, ref, "the files that could be converted")

    # The script's own exit codes: 1 when nothing or a share could not run, 2 for a wrong
    # command line, each with its reason.
    def test_exit_codes(self):
        make_inputs(f"{self.dir}/in", [b"a.bmp", b"b.bmp"], 1)
        out = self.folder("out")
        nowhere = {"QYNCONVERT": f"{self.dir}/no/qynconvert"}
        rows = [("no qynconvert here", nowhere, ["-S", ":", "color", "in", "out"], 1, "Cannot run"),
                ("no qynconvert on the machines", nowhere, ["-S", "node1,node2", "color", "in", "out"], 1,
                 "qynconvert was not found there"),
                ("no output folder", {}, ["color", "in", "missing"], 1, "Cannot write"),
                ("no input folder", {}, ["color", "missing", "out"], 1, "Cannot read"),
                ("an option qynconvert lacks", {}, ["color", "in", "out", "--colour"], 2, "unknown qynconvert option"),
                ("an unknown kind", {}, ["colour", "in", "out"], 2, "unknown kind")]
        for name, env, args, code, message in rows:
            with self.subTest(name):
                args = [os.path.join(self.dir, a) if a in ("in", "out", "missing") else a for a in args]
                result = run_across(*args, env=script_env(**env))
                stderr = result.stderr.decode(errors="replace")
                self.assertEqual(result.returncode, code, stderr)
                self.assertIn(message, stderr)
        self.assertEqual(os.listdir(out), [])

    # --check converts the first file on every machine: it finds the machine that does not
    # answer and the one whose qynconvert writes other bytes, and leaves no file behind.
    def test_check_names_the_machines_that_would_fail(self):
        make_inputs(f"{self.dir}/in", [b"a.bmp", b"b.bmp"], 3)
        out = self.folder("out")
        odd = NODES.nodes[2]
        other_version = os.path.join(odd.bin, "qynconvert")
        os.unlink(other_version)
        with open(other_version, "w") as f:
            f.write(f'#!/bin/sh\nexec "{ARGS.qynconvert}" "$@" --weights 300,500,200\n')
        os.chmod(other_version, 0o755)
        try:
            result = run_across("--check", "-S", "node1,node2,node3,gone", "gray", f"{self.dir}/in", out)
        finally:
            os.unlink(other_version)
            os.symlink(ARGS.qynconvert, other_version)
        stderr = result.stderr.decode(errors="replace")
        self.assertEqual(result.returncode, 1, stderr)
        self.assertIn("node1: ok", stderr)
        self.assertIn("node2: ok", stderr)
        self.assertIn("the same bytes as on node1", stderr)
        self.assertIn(f"{odd.name}: its output differs from node1's", stderr)
        self.assertIn("gone: could not run", stderr)
        self.assertEqual(os.listdir(out), [])


def main():
    global ARGS, NODES, ROOT
    parser = argparse.ArgumentParser()
    parser.add_argument("--qynconvert", required=True)
    parser.add_argument("--script", required=True)
    ARGS, rest = parser.parse_known_args()
    ARGS.qynconvert = os.path.abspath(ARGS.qynconvert)
    ARGS.script = os.path.abspath(ARGS.script)
    reason = ssh_nodes.missing_tools()
    if reason:
        print(f"SKIPPED: {reason}")
        return SKIPPED
    ROOT = tempfile.mkdtemp(prefix="qyn-across-test-")
    # Everything the test made goes, also when it fails or is stopped.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    NODES = ssh_nodes.SshNodes(3, os.path.join(ROOT, "machines"))
    try:
        for folder in ("bin", "home-here", "cwd"):
            os.makedirs(os.path.join(ROOT, folder))
        NODES.start()
        for bin_folder in [os.path.join(ROOT, "bin")] + [n.bin for n in NODES.nodes]:
            os.symlink(ARGS.qynconvert, os.path.join(bin_folder, "qynconvert"))
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
        return 0 if program.result.wasSuccessful() else 1
    finally:
        NODES.stop()
        shutil.rmtree(ROOT, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
