#!/usr/bin/python3
"""Live view's CPU against arv-viewer-0.8's on the same simulated GigE Vision camera, in
one run. For each asked frame rate: a fresh arv-fake-gv-camera-0.8 on loopback (its own
serial), set to 512x512 Mono8 at that rate with arv-tool-0.8; arv-viewer-0.8 -a (its
automatic socket buffer) picks that camera in its list and presses play, driven through
AT-SPI, and streams for the measured seconds after a settling time; its CPU time comes
from /proc/PID/stat (all its threads), its rate from its own image counter. The viewer
is closed, then bench_live streams the same camera for the same seconds and reports its
own CPU time, rates and lost frames (by time stamps and by the camera's frame ids).

Everything runs under one Xvfb (1280x1024, 60 Hz) and one D-Bus session (AT-SPI's bus);
the script starts them itself and runs again inside them. As root, the camera's clients
run without CAP_NET_RAW (setpriv), as with it Aravis reads the stream through a packet
socket that never sees loopback traffic; arv-viewer-0.8 streams from loopback either way,
and --viewer-net-raw leaves it the capability.

With --rounds N the viewer and the program take turns N times on each camera, each
round a row, and the median ratio of each rate closes the table. The program streams a
camera on loopback in the largest packets the camera allows (16404 bytes for the
simulated one), the viewer in the packets the camera has, which is what a user finds: the
size the camera started with (1400 bytes), set again before each of the viewer's turns,
or --viewer-packet-size BYTES to compare both on the same packets.

  bench/bench_live_viewer.py [--seconds N] [--rates 25,100,300] [--rounds N] [--bench-live PATH] [--viewer-net-raw]
                             [--viewer-packet-size BYTES]
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SETTLE_SECONDS = 3


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--rates", default="25,100,300")
    parser.add_argument("--rounds", type=int, default=1,
                        help="viewer and ours in turn this many times a rate (this machine's spread is wide)")
    parser.add_argument("--bench-live", default=os.path.join(HERE, "..", "build", "bench", "bench_live"))
    parser.add_argument("--viewer-net-raw", action="store_true", help="arv-viewer-0.8 keeps CAP_NET_RAW as root")
    parser.add_argument("--viewer-packet-size", type=int, default=0,
                        help="the camera's packet size for the viewer (default: the one it started with)")
    return parser.parse_args()


def without_net_raw():
    """The command prefix that keeps a camera client off the packet socket (as root)."""
    if os.geteuid() != 0:
        return []
    return ["setpriv", "--bounding-set=-net_raw", "--inh-caps=-net_raw"]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime, stime


def wait_for(what, check, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = check()
        if result:
            return result
        time.sleep(0.2)
    raise RuntimeError(f"gave up waiting for {what}")


def stop(process, seconds=5):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Viewer:
    """arv-viewer-0.8 on the display, driven through its accessibility tree."""

    def __init__(self, log, net_raw):
        import pyatspi  # python3-pyatspi

        self.pyatspi = pyatspi
        prefix = [] if net_raw else without_net_raw()
        self.process = subprocess.Popen(prefix + ["arv-viewer-0.8", "-a"], stdout=log, stderr=log)
        self.app = wait_for("arv-viewer in the accessibility tree", self._application, 20)

    def _application(self):
        if self.process.poll() is not None:
            raise RuntimeError(f"arv-viewer-0.8 ended with {self.process.returncode}")
        for app in self.pyatspi.Registry.getDesktop(0):
            if app is not None and app.name.startswith("arv-viewer"):
                return app
        return None

    def _all(self, role, name=None, node=None, found=None):
        node = node if node is not None else self.app
        found = found if found is not None else []
        if node.getRoleName() == role and (name is None or node.name == name):
            found.append(node)
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                self._all(role, name, child, found)
        return found

    def play(self, serial):
        """Selects the camera of this serial in the list and presses play."""
        cells = wait_for(f"camera {serial} in the list", lambda: self._all("table cell", serial), 20)
        table = self._all("table")[0]
        row = table.queryTable().getRowAtIndex(cells[0].getIndexInParent())
        if not table.queryTable().addRowSelection(row):
            raise RuntimeError(f"cannot select the camera's row {row}")
        time.sleep(0.5)
        # The list's tool bar: refresh, then play (icons without names).
        buttons = self._all("push button", node=self._all("tool bar")[0])
        buttons[1].queryAction().doAction(0)
        wait_for("the viewer's frame counter", lambda: self.counters()[0] > 0, 20)

    def counters(self):
        """Images and errors so far, and the rate, from the viewer's status labels."""
        images = errors = 0
        rate = ""
        for label in self._all("label"):
            counted = re.fullmatch(r"(\d+) images? / (\d+) errors?", label.name)
            if counted:
                images, errors = int(counted[1]), int(counted[2])
            elif re.match(r"[\d.]+ fps", label.name):
                rate = label.name.split()[0]
        return images, errors, rate

    def close(self):
        """Closes the window as a user would, so that the viewer lets go of the camera."""
        try:
            for button in self._all("push button", "Close"):
                button.queryAction().doAction(0)
                break
            self.process.wait(10)
        except Exception:
            pass
        stop(self.process)


def measure_viewer(serial, seconds, net_raw, log):
    viewer = Viewer(log, net_raw)
    try:
        viewer.play(serial)
        time.sleep(SETTLE_SECONDS)
        images_before, errors_before, _ = viewer.counters()
        cpu_before, start = cpu_seconds(viewer.process.pid), time.monotonic()
        time.sleep(seconds)
        cpu_after, elapsed = cpu_seconds(viewer.process.pid), time.monotonic() - start
        images_after, errors_after, rate = viewer.counters()
    finally:
        viewer.close()
    return {
        "fps": (images_after - images_before) / elapsed,
        "shown": rate,
        "errors": errors_after - errors_before,
        "cpu": 100.0 * (cpu_after - cpu_before) / elapsed,
    }


def measure_bench_live(bench_live, serial, rate, seconds, folder, log):
    config = os.path.join(folder, f"cam{rate}.ini")
    with open(config, "w") as out:
        out.write("[video]\n"
                  f"source = aravissrc camera-name=Aravis-Fake-{serial} ! "
                  f"video/x-raw,format=GRAY8,width=512,height=512,framerate={rate}/1\n"
                  "format = gray8\ntimeout_ms = 3000\nwarmup_frames = 0\n")
    output = subprocess.run(without_net_raw() + [bench_live, "--seconds", str(seconds), config],
                            stdout=subprocess.PIPE, stderr=log, text=True, check=True).stdout
    for line in output.splitlines():
        words = line.split()
        if words and words[0] == config:
            if words[1] == "does":
                raise RuntimeError(line)
            return dict(zip(["fps", "shown", "lost", "lost_ids", "median", "worst", "cpu"], words[1:]))
    raise RuntimeError(f"bench_live printed no result:\n{output}")


def packet_size(name, log, size=None):
    """Sets the camera's stream packet size when given one; returns the size it has."""
    command = ["arv-tool-0.8", "-n", name, "control", f"GevSCPSPacketSize={size}" if size else "GevSCPSPacketSize"]
    answer = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True).stdout
    log.write(answer)
    found = re.search(r"^GevSCPSPacketSize = (\d+)", answer, re.MULTILINE)
    if not found or (size and int(found[1]) != size):
        raise RuntimeError(f"{name} does not take packet size {size}: {answer.strip()}")
    return int(found[1])


def camera(serial, rate, log):
    process = subprocess.Popen(["arv-fake-gv-camera-0.8", "-i", "127.0.0.1", "-s", serial], stdout=log, stderr=log)
    name = f"Aravis-Fake-{serial}"
    # arv-tool-0.8 exits with 0 also when it finds no such camera: the answer tells.
    def configured():
        answer = subprocess.run(
            ["arv-tool-0.8", "-n", name, "control", "Width=512", "Height=512", f"AcquisitionFrameRate={rate}"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True).stdout
        log.write(answer)
        return re.search(rf"^AcquisitionFrameRate = {rate}\b", answer, re.MULTILINE) is not None
    wait_for(f"{name} to answer", configured, 20)
    return process


def main():
    args = parse_args()
    if "QYN_BENCH_LIVE_VIEWER" not in os.environ:
        os.environ["QYN_BENCH_LIVE_VIEWER"] = "1"
        os.environ.pop("NO_AT_BRIDGE", None)
        os.environ["GTK_A11Y"] = "atspi"
        command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "dbus-run-session", "--",
                   sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
        sys.exit(subprocess.run(command).returncode)

    bench_live = os.path.abspath(args.bench_live)
    folder = tempfile.mkdtemp(prefix="qyn-bench-live-viewer.")
    log_path = os.path.join(folder, "log.txt")
    rows = []
    try:
        with open(log_path, "w") as log:
            for rate in [int(r) for r in args.rates.split(",")]:
                serial = f"QLV{os.getpid()}R{rate}"
                cam = camera(serial, rate, log)
                try:
                    # The program streams a camera on loopback in the largest packets it
                    # allows, and the camera keeps them: the viewer gets the size asked for,
                    # or the one the camera started with, before every turn.
                    name = f"Aravis-Fake-{serial}"
                    viewer_packets = args.viewer_packet_size or packet_size(name, log)
                    for _ in range(args.rounds):
                        packet_size(name, log, viewer_packets)
                        viewer = measure_viewer(serial, args.seconds, args.viewer_net_raw, log)
                        viewer["packets"] = viewer_packets
                        time.sleep(1)  # the camera's control channel free again
                        ours = measure_bench_live(bench_live, serial, rate, args.seconds, folder, log)
                        rows.append((rate, viewer, ours))
                        print(f"{rate} fps asked: arv-viewer {viewer['fps']:.1f} fps at {viewer['cpu']:.1f} % CPU, "
                              f"bench_live {ours['fps']} fps at {ours['cpu']} % CPU", file=sys.stderr, flush=True)
                finally:
                    stop(cam)
    except Exception as error:
        print(f"bench_live_viewer: {error} (log: {log_path})", file=sys.stderr)
        return 1

    capability = " (arv-viewer with CAP_NET_RAW)" if args.viewer_net_raw and os.geteuid() == 0 else ""
    print(f"512x512 Mono8 from arv-fake-gv-camera-0.8 on loopback, {args.seconds:g} s each, Xvfb 60 Hz{capability}")
    print(f"{'asked':>5} | {'packets':>7} {'arv-viewer fps':>14} {'its label':>9} {'errors':>6} {'CPU %':>6} | "
          f"{'ours fps':>8} {'shown':>6} {'lost':>5} {'lost (ids)':>10} {'CPU %':>6} | {'ours/viewer':>11}")
    ratios = {}
    for rate, viewer, ours in rows:
        ratio = float(ours["cpu"]) / viewer["cpu"] if viewer["cpu"] > 0 else float("nan")
        ratios.setdefault(rate, []).append(ratio)
        print(f"{rate:>5} | {viewer['packets']:>7} {viewer['fps']:>14.1f} {viewer['shown']:>9} {viewer['errors']:>6} {viewer['cpu']:>6.1f} | "
              f"{ours['fps']:>8} {ours['shown']:>6} {ours['lost']:>5} {ours['lost_ids']:>10} {ours['cpu']:>6} | "
              f"{ratio:>11.2f}")
    if args.rounds > 1:
        for rate, values in ratios.items():
            print(f"{rate} fps asked: median ours/viewer {statistics.median(values):.2f} over {len(values)} rounds")
    shutil.rmtree(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
