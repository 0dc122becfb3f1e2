#!/usr/bin/env python3
"""Drives the built qynsample program in a real X window (run it under xvfb-run), as an
operator would: mouse clicks and keys through the X server, on the controls at their
design places. Checks the saved files' pixels against values computed here, reads the
time text through the clipboard and the display's pixel readout as a screen reader does
(AT-SPI on a session bus of its own), and keeps screenshots as artefacts."""

import argparse
import math
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

from Xlib import X, display as xdisplay, protocol

MAIN_TITLE = "QynSample - Color And Gray Image Conversion"
# The folder the start-up dialog opens first; when it is missing it opens the current one.
DEFAULT_CONF_FOLDER = "/opt/NERA_QYN/Video_IniFiles"
UNEXPECTED_TITLES = ("Error generating", "Reading failure", "Preservation failure", "error", "Error")


def px(twips):
    return round(twips / 15)


# Control centres in window pixels, from the design in twips (Frame1 holds some of them).
FRAME1 = (px(120), px(120))


def centre(left, top, width, height, in_frame=False):
    x, y = px(left) + px(width) // 2, px(top) + px(height) // 2
    return (x + FRAME1[0], y + FRAME1[1]) if in_frame else (x, y)


MAIN = {
    "cmbAutoBin": centre(120, 480, 3135, 315, True),
    "cmdButton1": centre(1800, 1080, 1215, 375, True),
    "cmdButton2": centre(1800, 1560, 1215, 375, True),
    "cmdButton3": centre(1800, 2040, 1215, 345, True),
    "cmdButton4": centre(240, 1080, 1215, 375, True),
    "cmdButton5": centre(240, 1560, 1215, 375, True),
    "cmdButton6": centre(240, 2040, 1215, 375, True),
    "cmbDispImageArrow": (px(1560) + px(1815) - 8, px(4680) + px(315) // 2),
    "cmdExecute": centre(120, 6480, 1575, 495),
    "cmdSaveImage": centre(1920, 6480, 1575, 495),
    "txtExecuteTime": centre(1440, 7200, 1695, 315),
    "txtParam1": centre(2160, 2640, 735, 315, True),
    "chkLive": (px(240) + 8, px(5160) + px(315) // 2),
}
VIDEO_DIALOG = {
    "filFirstRow": (px(4080) + 30, px(1320) + 9),
    "chkNotUseCamera": (px(240) + 8, px(4800) + px(375) // 2),
    "cmdOK": centre(5880, 4800, 2055, 375),
}
LOAD_DIALOG = {"filFirstRow": (px(3600) + 30, px(1080) + 9), "cmdOK": centre(3960, 3060, 1455, 375)}
SAVE_DIALOG = {"txtFilename": centre(3600, 360, 3375, 330), "cmdOK": centre(3840, 3060, 1455, 375)}


class Failure(Exception):
    pass


class Desktop:
    def __init__(self, artefacts):
        self.d = xdisplay.Display()
        self.root = self.d.screen().root
        self.artefacts = artefacts
        self.shots = 0

    def windows(self):
        found = {}
        for w in self.root.query_tree().children:
            try:
                attrs = w.get_attributes()
                name = w.get_wm_name()
            except Exception:
                continue
            if name and attrs.map_state == X.IsViewable:
                found.setdefault(name, w)
        return found

    def wait_window(self, title, timeout=20.0):
        end = time.time() + timeout
        while time.time() < end:
            w = self.windows().get(title)
            if w is not None:
                time.sleep(0.3)  # let it finish painting and take the focus
                return w
            time.sleep(0.05)
        self.screenshot("missing-window")
        raise Failure(f"window {title!r} did not appear; open: {sorted(self.windows())}")

    def wait_gone(self, title, timeout=20.0):
        end = time.time() + timeout
        while time.time() < end:
            if title not in self.windows():
                return
            time.sleep(0.05)
        self.screenshot("window-stayed")
        raise Failure(f"window {title!r} did not close")

    def no_message_box(self):
        open_titles = self.windows()
        for title in UNEXPECTED_TITLES:
            if title in open_titles:
                self.screenshot("unexpected-message")
                raise Failure(f"unexpected message box {title!r}")

    def origin(self, window):
        g = window.get_geometry()
        t = window.translate_coords(self.root, 0, 0)
        return -t.x, -t.y, g.width, g.height

    def click(self, window, point, double=False):
        ox, oy, _, _ = self.origin(window)
        subprocess.run(["xdotool", "mousemove", "--sync", str(ox + point[0]), str(oy + point[1])], check=True)
        subprocess.run(["xdotool", "click", "--repeat", "2" if double else "1", "1"], check=True)
        time.sleep(0.15)

    def keys(self, *names):
        for name in names:
            subprocess.run(["xdotool", "key", "--delay", "40", name], check=True)
        time.sleep(0.15)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "30", text], check=True)
        time.sleep(0.15)

    def clipboard_text_of(self, window, point):
        self.click(window, point)
        self.keys("ctrl+a", "ctrl+c")
        time.sleep(0.2)
        return subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                              text=True, check=True).stdout

    def close(self, window):
        wm_protocols = self.d.intern_atom("WM_PROTOCOLS")
        delete = self.d.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=window, client_type=wm_protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event)
        self.d.flush()

    def move_to(self, window, point):
        ox, oy, _, _ = self.origin(window)
        subprocess.run(["xdotool", "mousemove", "--sync", str(ox + point[0]), str(oy + point[1])], check=True)
        time.sleep(0.15)

    def wheel_up(self):
        subprocess.run(["xdotool", "click", "4"], check=True)
        time.sleep(0.3)

    def screen_rgb(self, window, point):
        """The (r, g, b) on screen at a point of the window."""
        ox, oy, _, _ = self.origin(window)
        raw = self.root.get_image(ox + point[0], oy + point[1], 1, 1, X.ZPixmap, 0xFFFFFFFF).data
        return raw[2], raw[1], raw[0]

    def png_of(self, x, y, width, height):
        """The screen's pixels in a rectangle, as a PNG file's bytes."""
        raw = self.root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF).data
        rows = []
        for row in range(height):
            line = raw[row * width * 4:(row + 1) * width * 4]
            rgb = bytearray(width * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
            rows.append(b"\x00" + bytes(rgb))
        png = b"\x89PNG\r\n\x1a\n"
        for kind, body in ((b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)),
                           (b"IDAT", zlib.compress(b"".join(rows), 9)), (b"IEND", b"")):
            png += struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        return png

    def screenshot(self, name):
        g = self.root.get_geometry()
        self.shots += 1
        path = os.path.join(self.artefacts, f"{self.shots:02d}-{name}.png")
        with open(path, "wb") as f:
            f.write(self.png_of(0, 0, g.width, g.height))
        return path

    def window_shot(self, window, name):
        """One window alone, as the README shows it."""
        ox, oy, width, height = self.origin(window)
        path = os.path.join(self.artefacts, name + ".png")
        with open(path, "wb") as f:
            f.write(self.png_of(ox, oy, width, height))
        return path


class AtSpi:
    """What a screen reader reads of the program: AT-SPI's D-Bus protocol on a session bus
    of the test's own, whose accessibility bus the program joins."""
    ACCESSIBLE = "org.a11y.atspi.Accessible"
    ROOT = "/org/a11y/atspi/accessible/root"

    def __init__(self):
        out = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                             capture_output=True, text=True, check=True).stdout.split()
        self.address, self.pid = out[0], int(out[1])

    def env(self):
        return {"DBUS_SESSION_BUS_ADDRESS": self.address, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}

    def descriptions(self, prop="Description"):
        """The accessible descriptions (or another property, such as the names) of
        everything the programs on the bus show."""
        import dbus
        session = dbus.bus.BusConnection(self.address)
        launcher = session.get_object("org.a11y.Bus", "/org/a11y/bus")
        bus = dbus.bus.BusConnection(str(launcher.GetAddress(dbus_interface="org.a11y.Bus")))
        found = []
        for owner in bus.list_names():
            if owner.startswith(":"):
                try:
                    self._walk(bus, str(owner), self.ROOT, found, 0, prop)
                except dbus.DBusException:
                    continue  # not a program's tree (the bus's own services)
        bus.close()
        session.close()
        return found

    def _walk(self, bus, owner, path, found, depth, prop):
        node = bus.get_object(owner, path, introspect=False)
        found.append(str(node.Get(self.ACCESSIBLE, prop, timeout=5,
                                  dbus_interface="org.freedesktop.DBus.Properties")))
        if depth < 12:
            for child_owner, child_path in node.GetChildren(dbus_interface=self.ACCESSIBLE, timeout=5):
                self._walk(bus, str(child_owner), str(child_path), found, depth + 1, prop)

    def live_status(self, timeout=10.0):
        """The live view's status line as a screen reader reads it: (camera fps, shown fps)."""
        end = time.time() + timeout
        while time.time() < end:
            for text in self.descriptions("Name"):
                m = re.match(r"Live: camera ([\d.]+) fps, shown ([\d.]+) fps", text)
                if m and float(m.group(1)) > 0:
                    return float(m.group(1)), float(m.group(2))
            time.sleep(0.3)
        raise Failure("no live status with a camera rate above zero among the accessible names")

    def readout(self, timeout=10.0):
        """The display's readout of a colour pixel: (x, y, (r, g, b))."""
        end = time.time() + timeout
        while time.time() < end:
            for text in self.descriptions():
                m = re.fullmatch(r"x (\d+), y (\d+): R (\d+), G (\d+), B (\d+)", text)
                if m:
                    x, y, r, g, b = map(int, m.groups())
                    return x, y, (r, g, b)
            time.sleep(0.2)
        raise Failure("no pixel readout among the accessible descriptions")

    def text_named(self, name, timeout=10.0):
        """The text a screen reader reads in the text field named `name` (its Text interface;
        a label of the same name has no field's role)."""
        import dbus
        end = time.time() + timeout
        while True:
            session = dbus.bus.BusConnection(self.address)
            launcher = session.get_object("org.a11y.Bus", "/org/a11y/bus")
            bus = dbus.bus.BusConnection(str(launcher.GetAddress(dbus_interface="org.a11y.Bus")))
            try:
                for owner in bus.list_names():
                    if not owner.startswith(":"):
                        continue
                    found = []
                    try:
                        self._find(bus, str(owner), self.ROOT, name, found, 0)
                    except dbus.DBusException:
                        continue
                    for node in found:
                        try:
                            if "org.a11y.atspi.Text" in node.GetInterfaces(dbus_interface=self.ACCESSIBLE, timeout=5) \
                                    and int(node.GetRole(dbus_interface=self.ACCESSIBLE, timeout=5)) != self.ROLE_LABEL:
                                return str(node.GetText(0, -1, dbus_interface="org.a11y.atspi.Text", timeout=5))
                        except dbus.DBusException:
                            continue
            finally:
                bus.close()
                session.close()
            if time.time() >= end:
                raise Failure(f"no text field named {name!r} among the accessible objects")
            time.sleep(0.2)

    ROLE_LABEL = 29

    def _find(self, bus, owner, path, name, found, depth):
        node = bus.get_object(owner, path, introspect=False)
        if str(node.Get(self.ACCESSIBLE, "Name", timeout=5,
                        dbus_interface="org.freedesktop.DBus.Properties")) == name:
            found.append(node)
        if depth < 12:
            for child_owner, child_path in node.GetChildren(dbus_interface=self.ACCESSIBLE, timeout=5):
                self._find(bus, str(child_owner), str(child_path), name, found, depth + 1)

    def stop(self):
        os.kill(self.pid, signal.SIGTERM)


# --- image files -------------------------------------------------------------------

def write_bmp(path, width, height, pixels, gray):
    """pixels: rows top to bottom; gray -> ints, colour -> (r, g, b)."""
    bpp = 8 if gray else 24
    stride = (width * bpp // 8 + 3) & ~3
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256)) if gray else b""
    offset = 54 + len(palette)
    body = bytearray()
    for row in reversed(pixels):
        line = bytes(row) if gray else b"".join(bytes((b, g, r)) for (r, g, b) in row)
        body += line + b"\x00" * (stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(body), 2835, 2835,
                       256 if gray else 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + body)


def read_bmp(path):
    """Returns (width, height, rows top to bottom of (r, g, b)), for uncompressed 8/24/32-bit files."""
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise Failure(f"{path} is no BMP file")
    offset, = struct.unpack_from("<I", data, 10)
    size, width, height, _, bpp, compression = struct.unpack_from("<IiiHHI", data, 14)
    if compression not in (0, 3):
        raise Failure(f"{path}: compression {compression}")
    top_down = height < 0
    height = abs(height)
    palette = []
    if bpp == 8:
        colours, = struct.unpack_from("<I", data, 46)
        colours = colours or 256
        base = 14 + size
        palette = [(data[base + 4 * i + 2], data[base + 4 * i + 1], data[base + 4 * i]) for i in range(colours)]
    stride = (width * bpp // 8 + 3) & ~3
    rows = []
    for y in range(height):
        start = offset + y * stride
        line = data[start:start + stride]
        if bpp == 8:
            rows.append([palette[v] for v in line[:width]])
        else:
            step = bpp // 8
            rows.append([(line[x * step + 2], line[x * step + 1], line[x * step]) for x in range(width)])
    if not top_down:
        rows.reverse()
    return width, height, rows


def expect_pixels(path, expected):
    _, _, rows = read_bmp(path)
    if rows != expected:
        for y, (got_row, want_row) in enumerate(zip(rows, expected)):
            for x, (got, want) in enumerate(zip(got_row, want_row)):
                if got != want:
                    raise Failure(f"{os.path.basename(path)}: pixel ({x},{y}) is {got}, expected {want}")
        raise Failure(f"{os.path.basename(path)}: size differs")


def color_to_gray(rgb, weights=(0.299, 0.587, 0.144)):
    r, g, b = rgb
    v = (weights[0] * r + weights[1] * g) + weights[2] * b  # IEEE doubles, no fused operations
    return min(255, max(0, round(v)))  # round() takes halves to even


# --- the operator's steps ----------------------------------------------------------

class Operator:
    def __init__(self, desk, program, workdir):
        self.desk = desk
        self.program = program
        self.workdir = workdir
        self.kind = 0
        self.display_index = 0
        self.main = None

    def command(self, conf_dir):
        """The program, seeing the test's configuration folder as its start-up dialog's
        first folder: the folder itself when the machine has none (scripts/run.sh installs
        the samples there), else mounted over it in a mount namespace of its own."""
        if not os.path.isdir(DEFAULT_CONF_FOLDER):
            return [self.program]
        unshare = ["unshare", "--mount", "--propagation", "private"]
        if os.geteuid() != 0:
            unshare.append("--map-root-user")
        probe = subprocess.run(unshare + ["true"], capture_output=True)
        if probe.returncode != 0:
            raise Failure(f"{DEFAULT_CONF_FOLDER} exists and this machine allows no mount "
                          f"namespace to hide it: {probe.stderr.decode().strip()}")
        return unshare + ["sh", "-c", 'mount --bind "$1" "$2" && exec "$3"', "sh",
                          conf_dir, DEFAULT_CONF_FOLDER, self.program]

    def start(self, conf_dir, camera, locale_env=None, log_name=None, extra_env=None):
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", **(locale_env or {"LC_ALL": "C.UTF-8"}),
                   **(extra_env or {}))
        log_name = log_name or ("camera" if camera else "files")
        self.log = open(os.path.join(self.desk.artefacts, f"program-{log_name}.log"), "w")
        # As root the program keeps CAP_NET_RAW, with which Aravis would receive through a
        # raw packet socket that sees nothing of the simulated camera on loopback: the
        # program must choose an ordinary socket for a camera at a loopback address.
        command = self.command(conf_dir)
        self.proc = subprocess.Popen(command, cwd=conf_dir, env=env,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.main = self.desk.wait_window(MAIN_TITLE)
        dialog = self.desk.wait_window("Selection Of The Video Configuration")
        if camera:
            self.desk.click(dialog, VIDEO_DIALOG["filFirstRow"])
        else:
            self.desk.click(dialog, VIDEO_DIALOG["chkNotUseCamera"])
        self.desk.click(dialog, VIDEO_DIALOG["cmdOK"])
        self.desk.wait_gone("Selection Of The Video Configuration")
        time.sleep(1.5 if camera else 0.5)  # the camera settles and takes its first frame
        self.desk.no_message_box()
        self.kind = 0
        self.display_index = 0

    def pick(self, arrow_point, current, wanted):
        self.desk.click(self.main, arrow_point)
        key = "Down" if wanted > current else "Up"
        for _ in range(abs(wanted - current)):
            self.desk.keys(key)
        self.desk.keys("Return")
        time.sleep(0.2)

    def choose_kind(self, kind):
        self.pick(MAIN["cmbAutoBin"], self.kind, kind)
        self.kind = kind

    def choose_display(self, index):
        self.pick(MAIN["cmbDispImageArrow"], self.display_index, index)
        self.display_index = index

    def load(self, button, file_index):
        self.desk.click(self.main, MAIN[button])
        dialog = self.desk.wait_window("Load file")
        self.desk.click(dialog, LOAD_DIALOG["filFirstRow"])
        for _ in range(file_index):
            self.desk.keys("Down")
        self.desk.click(dialog, LOAD_DIALOG["cmdOK"])
        self.desk.wait_gone("Load file")
        time.sleep(0.3)
        self.desk.no_message_box()

    def grab(self, button):
        self.desk.click(self.main, MAIN[button])
        time.sleep(0.5)
        self.desk.no_message_box()

    def set_param(self, field, text):
        self.desk.click(self.main, MAIN[field])
        self.desk.keys("ctrl+a")
        self.desk.type(text)

    def execute(self, result_index):
        self.desk.click(self.main, MAIN["cmdExecute"])
        time.sleep(0.5)
        self.desk.no_message_box()
        self.display_index = result_index  # the run selects its result slot in the list
        text = self.desk.clipboard_text_of(self.main, MAIN["txtExecuteTime"])
        if not re.fullmatch(r"\d+\.\d\dms", text):
            self.desk.screenshot("bad-time-text")
            raise Failure(f"time text {text!r} is not like 0.00ms")
        return text

    def save(self, name):
        self.desk.click(self.main, MAIN["cmdSaveImage"])
        dialog = self.desk.wait_window("Save file")
        self.desk.click(dialog, SAVE_DIALOG["txtFilename"])
        self.desk.type(name)
        self.desk.click(dialog, SAVE_DIALOG["cmdOK"])
        self.desk.wait_gone("Save file")
        time.sleep(0.3)
        self.desk.no_message_box()
        path = os.path.join(self.workdir, name + ".bmp")
        if not os.path.exists(path):
            raise Failure(f"{path} was not written")
        return path

    def terminate(self):
        """SIGTERM, as a session logging out sends: the program ends as when its window
        is closed, with exit code 0."""
        self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise Failure("the program did not end on SIGTERM")
        self.log.close()
        if code != 0:
            raise Failure(f"the program ended with exit code {code} on SIGTERM")

    def quit(self):
        self.desk.close(self.main)
        try:
            code = self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise Failure("the program did not end when its window was closed")
        self.log.close()
        if code != 0:
            raise Failure(f"the program ended with exit code {code}")


class FakeCamera:
    """Aravis's simulated GigE Vision camera on loopback, with small frames of its own
    size (a large frame's burst can overflow the socket's receive buffer)."""
    WIDTH, HEIGHT = 128, 96

    def __init__(self):
        self.name = f"Aravis-Fake-QYNE2E{os.getpid()}"
        self.proc = None

    @staticmethod
    def missing():
        for tool in ("arv-fake-gv-camera-0.8", "arv-tool-0.8", "gst-inspect-1.0"):
            if not shutil.which(tool):
                return f"{tool} is not installed"
        if subprocess.run(["gst-inspect-1.0", "aravissrc"], capture_output=True).returncode != 0:
            return "GStreamer has no aravissrc"
        return None

    def start(self):
        self.proc = subprocess.Popen(["arv-fake-gv-camera-0.8", "-i", "127.0.0.1", "-s", self.name[len("Aravis-Fake-"):]],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(30):
            listed = subprocess.run(["arv-tool-0.8"], capture_output=True, text=True).stdout
            if self.name in listed:
                subprocess.run(["arv-tool-0.8", "-n", self.name, "control", f"Width={self.WIDTH}",
                                f"Height={self.HEIGHT}"], capture_output=True, check=True)
                return
            time.sleep(0.5)
        raise Failure("the simulated camera did not appear in arv-tool-0.8's list")

    def stop(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait(timeout=10)


def inspect_display(op, desk, atspi, image):
    """The value under the cursor in the middle of the display, as a screen reader reads
    it, then one wheel notch in about the cursor: the same pixel stays under it, drawn
    as a sharp square of its own colour."""
    _, _, width, height = desk.origin(op.main)
    left, top = px(3600), px(120)
    point = (left + (width - left - px(200)) // 2, top + (height - top - px(500)) // 2)
    desk.move_to(op.main, point)
    x, y, rgb = atspi.readout()
    if rgb != image[y][x]:
        raise Failure(f"the readout gives pixel ({x},{y}) as {rgb}, the image has {image[y][x]}")
    desk.wheel_up()
    desk.screenshot("display-zoomed")
    zoomed = atspi.readout()
    if zoomed[:2] != (x, y):
        raise Failure(f"zooming about the cursor moved it from pixel ({x},{y}) to {zoomed[:2]}")
    if desk.screen_rgb(op.main, point) != rgb:
        raise Failure(f"the screen under the cursor is {desk.screen_rgb(op.main, point)}, not {rgb}")
    # Neighbours differ by several levels: a smoothed image would change at every pixel.
    for dx, dy in ((1, 0), (0, 1)):
        run = 1
        for sign in (1, -1):
            step = 1
            while step < 64 and desk.screen_rgb(op.main, (point[0] + sign * step * dx,
                                                          point[1] + sign * step * dy)) == rgb:
                run += 1
                step += 1
        if run < 8:
            raise Failure(f"the zoomed pixel is {run} screen pixels across, not a sharp square")
    return x, y


def expected_stats(image):
    """The statistics the measure window and `qynconvert stats` give for a whole colour
    image, worked out here from the pixels: integer sums, the mean and the standard
    deviation of the population to three decimals."""
    h, w = len(image), len(image[0])
    n = w * h
    lines = [f"region\t0\t0\t{w}\t{h}", "channel\tpixels\tmean\tstd dev\tmin\tmax\tat 0\tat 255"]
    for c, name in enumerate(("red", "green", "blue")):
        values = [image[y][x][c] for y in range(h) for x in range(w)]
        total, squares = sum(values), sum(v * v for v in values)
        deviation = math.sqrt(float(n * squares - total * total)) / n
        lines.append(f"{name}\t{n}\t{total / n:.3f}\t{deviation:.3f}\t{min(values)}\t{max(values)}"
                     f"\t{values.count(0)}\t{values.count(255)}")
    return "\n".join(lines) + "\n"


def measure_shown(op, desk, atspi, image):
    """Ctrl+M opens the measure window; a screen reader reads the shown image's statistics
    in it, the numbers a spreadsheet gets; Escape closes it."""
    desk.keys("ctrl+m")
    window = desk.wait_window("Measure")
    desk.window_shot(window, "measure-window")
    expected = expected_stats(image)
    end = time.time() + 10
    text = atspi.text_named("Statistics")
    while text != expected and time.time() < end:
        time.sleep(0.2)
        text = atspi.text_named("Statistics")
    if text != expected:
        raise Failure(f"the measure window reads {text!r}, the image gives {expected!r}")
    desk.keys("Escape")
    desk.wait_gone("Measure")
    return text


def expect_ramp(path, width, height):
    """The simulated camera's Mono8 frame: each pixel one level above its left and upper
    neighbours, 254 wrapping to 0. Returns the first pixel's level."""
    w, h, rows = read_bmp(path)
    if (w, h) != (width, height):
        raise Failure(f"{os.path.basename(path)} is {w} x {h}, not the camera's {width} x {height}")
    for y in range(h):
        for x in range(w):
            v = rows[y][x][0]
            if rows[y][x] != (v, v, v) or (x and v != (rows[y][x - 1][0] + 1) % 255) \
                    or (y and v != (rows[y - 1][x][0] + 1) % 255):
                raise Failure(f"{os.path.basename(path)}: pixel ({x},{y}) = {rows[y][x]} breaks the camera's ramp")
    return rows[0][0][0]


def live_pass(op, desk, atspi):
    """"Live" on: the display moves (two shots of its middle a second apart differ) and
    the status line reads a camera rate above zero; then "Live" off again."""
    desk.click(op.main, MAIN["chkLive"])
    time.sleep(1.0)
    ox, oy, width, height = desk.origin(op.main)
    left, top = px(3600), px(120)
    middle = (ox + left + (width - left - px(200)) // 2, oy + top + (height - top - px(500)) // 2)
    first = desk.png_of(middle[0] - 50, middle[1] - 50, 100, 100)
    time.sleep(1.0)
    second = desk.png_of(middle[0] - 50, middle[1] - 50, 100, 100)
    desk.screenshot("gige-live")
    if first == second:
        raise Failure("the display did not change in a second of live view")
    camera_rate, shown_rate = atspi.live_status()
    desk.click(op.main, MAIN["chkLive"])
    time.sleep(0.3)
    desk.no_message_box()
    return camera_rate, shown_rate


def gige_run(op, desk, camera, gige_dir, app_dir, atspi):
    """Start-up with the simulated camera's configuration, a live view pass, then a grab
    into each of slots 1 to 3, each slot saved and checked."""
    with open(os.path.join(gige_dir, "fake-gray.ini"), "w") as f:
        f.write(f"[video]\nsource = aravissrc camera-name={camera.name} ! video/x-raw,format=GRAY8\n"
                "format = gray8\ntimeout_ms = 3000\n")
    for name in os.listdir(app_dir):
        if name.startswith("z"):
            os.remove(os.path.join(app_dir, name))
    op.start(gige_dir, camera=True, log_name="gige", extra_env=atspi.env())
    rates = live_pass(op, desk, atspi)
    for button in ("cmdButton4", "cmdButton5", "cmdButton6"):
        op.grab(button)
    desk.screenshot("gige-grabbed")
    firsts = []
    for slot in range(3):
        op.choose_display(slot)
        firsts.append(expect_ramp(op.save(f"z9_slot{slot + 1}"), FakeCamera.WIDTH, FakeCamera.HEIGHT))
    if len(set(firsts)) != 3:
        raise Failure(f"the three grabs gave frames starting at {firsts}: not three new frames")
    # Ended by SIGTERM, the program lets the camera go: started again at once, it opens the
    # camera without waiting for the heartbeat of a dead controller and grabs.
    op.terminate()
    op.start(gige_dir, camera=True, log_name="gige-again")
    op.grab("cmdButton4")
    expect_ramp(op.save("z9_again"), FakeCamera.WIDTH, FakeCamera.HEIGHT)
    op.quit()
    with open(os.path.join(desk.artefacts, "program-gige-again.log")) as log:
        if "another program controls the camera" in log.read():
            raise Failure("after SIGTERM the camera was still controlled by the ended program")
    return rates


def comma_locale_env(work):
    """LC_ALL (and LOCPATH where needed) for de_DE.UTF-8, whose decimal sign is a comma;
    built with localedef into the work folder when the system has none."""
    env = {"LC_ALL": "de_DE.UTF-8"}
    probe = lambda extra: subprocess.run(["locale", "decimal_point"], capture_output=True, text=True,
                                         env=dict(os.environ, **extra)).stdout.strip()
    if probe(env) != ",":
        folder = os.path.join(work, "locales")
        os.makedirs(folder, exist_ok=True)
        made = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(folder, "de_DE.UTF-8")],
                              capture_output=True, text=True)
        env["LOCPATH"] = folder
        if probe(env) != ",":
            raise Failure(f"no comma-decimal locale (localedef: {made.stderr.strip()})")
    return env


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--artefacts", required=True)
    args = parser.parse_args()
    os.makedirs(args.artefacts, exist_ok=True)

    work = tempfile.mkdtemp(prefix="qyn-e2e-")
    atspi = None
    try:
        # The file dialogs open in the program's own folder: give it one with the test images.
        app_dir = os.path.join(work, "app")
        conf_dir = os.path.join(work, "conf")
        os.makedirs(app_dir)
        os.makedirs(conf_dir)
        program = os.path.join(app_dir, "qynsample")
        shutil.copy2(args.program, program)

        w, h = 37, 21  # an odd width: no kernel may rely on whole vectors
        red = [[(x * 7 + y * 3) % 256 for x in range(w)] for y in range(h)]
        green = [[(x * 11 + y * 13 + 5) % 256 for x in range(w)] for y in range(h)]
        blue = [[(255 - x * 5 - y) % 256 for x in range(w)] for y in range(h)]
        colour = [[(red[y][x], green[y][x], blue[y][x]) for x in range(w)] for y in range(h)]
        write_bmp(os.path.join(app_dir, "a_red.bmp"), w, h, red, True)
        write_bmp(os.path.join(app_dir, "b_green.bmp"), w, h, green, True)
        write_bmp(os.path.join(app_dir, "c_blue.bmp"), w, h, blue, True)
        write_bmp(os.path.join(app_dir, "d_colour.bmp"), w, h, colour, False)
        gray_rows = lambda plane: [[(v, v, v) for v in row] for row in plane]

        with open(os.path.join(conf_dir, "camera.ini"), "w") as f:
            f.write("[video]\nsource = videotestsrc pattern=smpte is-live=true\n"
                    "width = 160\nheight = 120\nformat = colour\ntimeout_ms = 3000\n")

        desk = Desktop(args.artefacts)
        op = Operator(desk, program, app_dir)
        times = []

        # Without a camera, under a locale whose decimal sign is a comma: three gray files
        # composed, then the colour file through kinds 1..3.
        atspi = AtSpi()
        op.start(conf_dir, camera=False, locale_env=comma_locale_env(work), extra_env=atspi.env())
        desk.screenshot("files-start-up")
        op.load("cmdButton1", 0)
        op.load("cmdButton2", 1)
        op.load("cmdButton3", 2)
        times.append(op.execute(result_index=3))
        desk.screenshot("files-composed")
        inspected = inspect_display(op, desk, atspi, colour)
        measured = measure_shown(op, desk, atspi, colour)
        expect_pixels(op.save("z1_compose"), colour)

        op.choose_kind(1)
        op.load("cmdButton1", 3)
        times.append(op.execute(result_index=1))
        expect_pixels(op.save("z2_red"), gray_rows(red))
        op.choose_display(2)
        expect_pixels(op.save("z3_green"), gray_rows(green))
        op.choose_display(3)
        expect_pixels(op.save("z4_blue"), gray_rows(blue))

        op.choose_kind(2)
        op.set_param("txtParam1", "299.4")  # a '.' reads as a decimal point whatever the locale
        times.append(op.execute(result_index=1))
        desk.screenshot("files-colour-to-gray")
        expect_pixels(op.save("z5_gray"), [[(g, g, g) for g in map(color_to_gray, row)] for row in colour])

        op.choose_kind(3)
        op.load("cmdButton1", 0)
        times.append(op.execute(result_index=1))
        desk.screenshot("files-gray-to-colour")
        expect_pixels(op.save("z6_table"), [[(255 - v, 255 - v, v) for v in row] for row in red])
        op.quit()
        atspi.stop()
        atspi = None

        # With the test-pattern camera: grab, convert to gray, save the frame and the result.
        for name in os.listdir(app_dir):
            if name.startswith("z"):
                os.remove(os.path.join(app_dir, name))
        op.start(conf_dir, camera=True)
        desk.screenshot("camera-start-up")
        # The README's picture of the window (docs/images/main-window.png is a copy).
        desk.window_shot(op.main, "main-window")
        op.grab("cmdButton4")
        op.grab("cmdButton5")
        op.grab("cmdButton6")
        op.choose_kind(2)
        times.append(op.execute(result_index=1))
        desk.screenshot("camera-colour-to-gray")
        gray_path = op.save("z7_gray")
        op.choose_display(0)
        frame_path = op.save("z8_frame")
        fw, fh, frame = read_bmp(frame_path)
        if (fw, fh) != (160, 120):
            raise Failure(f"the grabbed frame is {fw} x {fh}, not 160 x 120")
        expect_pixels(gray_path, [[(g, g, g) for g in map(color_to_gray, row)] for row in frame])
        op.quit()

        # With the simulated GigE Vision camera over the real protocol: the start-up dialog's
        # configuration, a grab into each of slots 1 to 3, each saved and checked.
        why_not = FakeCamera.missing()
        if why_not:
            print(f"simulated GigE Vision camera run SKIPPED: {why_not}")
        else:
            gige_dir = os.path.join(work, "gige")
            os.makedirs(gige_dir)
            # The simulated camera answers over UDP with timeouts of its protocol: on a
            # machine loaded by other work an answer can come late, and the run starts
            # once more with a new camera before it counts as failed.
            for attempt in (1, 2):
                camera = FakeCamera()
                camera.start()
                atspi = AtSpi()
                try:
                    rates = gige_run(op, desk, camera, gige_dir, app_dir, atspi)
                    print("live view of the simulated camera: camera {:.1f} fps, shown {:.1f} fps".format(*rates))
                    break
                except Failure as failure:
                    if attempt == 2:
                        raise
                    print(f"simulated GigE Vision camera run, first attempt: {failure}; once more")
                    if op.proc.poll() is None:
                        op.proc.kill()
                        op.proc.wait()
                finally:
                    camera.stop()
                    atspi.stop()
                    atspi = None

        print("time texts:", " ".join(times))
        print("pixel read under the cursor, before and after zooming: ({},{})".format(*inspected))
        print("statistics read in the measure window:", measured.replace("\t", " ").replace("\n", "; "))
        print(f"screenshots in {args.artefacts}")
        print("1 passed, 0 failed")
        return 0
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        print("0 passed, 1 failed")
        return 1
    finally:
        if atspi:
            atspi.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
