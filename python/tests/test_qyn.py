"""The module qyn from Python: files, conversions, refusals, array lifetimes and cameras.

Run by ctest (python_qyn) with PYTHONPATH at the built module and QYNCONVERT naming the
qynconvert the conversions are compared with.
"""

import ctypes
import gc
import os
import shutil
import subprocess
import time
import uuid

import numpy as np
import pytest

import qyn


def drop_raw_network():
    """Aravis receives the stream through a raw packet socket when the process may open
    one, and such a socket sees nothing on the loopback interface: run as root, the
    simulated camera's stream would stay empty. Without CAP_NET_RAW Aravis uses an
    ordinary socket. Done at import, before any thread the camera starts."""
    libc = ctypes.CDLL(None, use_errno=True)
    header = (ctypes.c_uint32 * 2)(0x20080522, 0)  # _LINUX_CAPABILITY_VERSION_3, this process
    data = (ctypes.c_uint32 * 6)()  # two of {effective, permitted, inheritable}
    sys_capget, sys_capset, cap_net_raw = 125, 126, 13
    if libc.syscall(sys_capget, header, data) != 0:
        return False
    for i in range(3):
        data[i] &= ~(1 << cap_net_raw)
    return libc.syscall(sys_capset, header, data) == 0


RAW_NETWORK_DROPPED = drop_raw_network()
rng = np.random.default_rng(31)


def image(height, width, colour, padding=0):
    """Random pixels as a view of a larger array: rows `padding` bytes apart beyond their
    pixels, as a crop of a bigger image is."""
    channels = (4,) if colour else ()
    whole = rng.integers(0, 256, (height, width + padding) + channels, dtype=np.uint8)
    return whole[:, :width]


def bgr(colour):
    """The colour bytes a file keeps (24-bit files have no X byte)."""
    return colour[..., :3]


@pytest.mark.parametrize("colour", [False, True], ids=["gray", "colour"])
@pytest.mark.parametrize("width", [1, 7, 33])
@pytest.mark.parametrize("extension", ["bmp", "png", "tif"])
def test_round_trip_through_files(tmp_path, colour, width, extension):
    for padding in (0, 3):
        pixels = image(5, width, colour, padding)
        path = tmp_path / f"image.{extension}"
        qyn.save(path, pixels)
        loaded = qyn.load(path)
        assert loaded.dtype == np.uint8 and loaded.shape == pixels.shape
        if colour:
            np.testing.assert_array_equal(bgr(loaded), bgr(pixels))
        else:
            np.testing.assert_array_equal(loaded, pixels)
        # An array of the module's own is saved from its buffer and comes back the same.
        qyn.save(str(path), loaded)
        np.testing.assert_array_equal(qyn.load(os.fsencode(path)), loaded)


def qynconvert(*arguments):
    program = os.environ.get("QYNCONVERT") or shutil.which("qynconvert")
    if not program:
        pytest.skip("QYNCONVERT names no qynconvert")
    subprocess.run([program, *map(str, arguments)], check=True, capture_output=True)


# Each conversion on odd-width arrays whose rows lie apart, against qynconvert's output
# for the same pixels saved as files: (command, qynconvert options, the call).
CONVERSIONS = [
    ("compose", [], lambda s: [qyn.compose(*s)]),
    ("decompose", [], lambda s: list(qyn.decompose(*s))),
    ("gray", [], lambda s: [qyn.gray(*s)]),
    ("gray", ["--weights", "333,-250,1200"], lambda s: [qyn.gray(*s, (333 * 0.001, -250 * 0.001, 1200 * 0.001))]),
    ("color", [], lambda s: [qyn.color(*s)]),
]


@pytest.mark.parametrize("command,options,convert", CONVERSIONS, ids=lambda v: v if isinstance(v, str) else None)
@pytest.mark.parametrize("width", [13, 257])
def test_conversions_match_qynconvert(tmp_path, command, options, convert, width):
    colour_source = command in ("decompose", "gray")
    count = 3 if command == "compose" else 1
    sources = [image(9, width, colour_source, padding=5) for _ in range(count)]
    if colour_source:
        sources = [s.copy() for s in sources]
        for s in sources:
            s[..., 3] = 0  # the X byte a file cannot keep
    inputs = [tmp_path / f"in{i}.bmp" for i in range(count)]
    for path, pixels in zip(inputs, sources):
        qyn.save(path, pixels)
    outputs = [tmp_path / f"out{i}.bmp" for i in range(3 if command == "decompose" else 1)]
    qynconvert(command, *inputs, *outputs, *options)
    results = convert(sources)
    assert len(results) == len(outputs)
    for path, result in zip(outputs, results):
        expected = qyn.load(path)
        if result.ndim == 3:
            np.testing.assert_array_equal(bgr(result), bgr(expected))
            assert not result[..., 3].any()
        else:
            np.testing.assert_array_equal(result, expected)


GRAY = np.zeros((4, 6), np.uint8)
COLOUR = np.zeros((4, 6, 4), np.uint8)


# Each refusal with the code it carries.
@pytest.mark.parametrize("call,code", [
    (lambda: qyn.gray(COLOUR.astype(np.uint16)), 1506),
    (lambda: qyn.gray([[0, 0, 0, 0]]), 1506),
    (lambda: qyn.gray(GRAY), 1550),
    (lambda: qyn.color(COLOUR), 1550),
    (lambda: qyn.decompose(COLOUR[..., :3]), 1550),
    (lambda: qyn.gray(COLOUR[:, ::2]), 1505),
    (lambda: qyn.color(GRAY[:, ::2]), 1505),
    (lambda: qyn.gray(np.asfortranarray(COLOUR)), 1505),
    (lambda: qyn.compose(GRAY, GRAY, GRAY[:3]), 1532),
    (lambda: qyn.gray(COLOUR, (0.3, float("nan"), 0.1)), 1505),
    (lambda: qyn.color(GRAY, range(255)), 1505),
    (lambda: qyn.color(GRAY[:0]), 1507),
    (lambda: qyn.load("/nonexistent/image.bmp"), 2002),
    (lambda: qyn.load(os.path.abspath(__file__)), 2004),
    (lambda: qyn.save("/nonexistent/image.bmp", GRAY), 2008),
    (lambda: qyn.save("", GRAY), 2001),
], ids=lambda v: None)
def test_refusals_raise_with_their_code(call, code):
    with pytest.raises(qyn.Error) as raised:
        call()
    assert raised.value.code == code
    assert raised.value.message and str(raised.value).endswith(f"({code})")


def test_arrays_outlive_their_source(tmp_path):
    """Views keep the library's buffer: the array they came from and every C++ owner
    gone, the pixels stay readable (ASan in the sanitizer build would see a freed one)."""
    pixels = image(64, 48, True)
    path = tmp_path / "source.png"
    qyn.save(path, pixels)
    loaded = qyn.load(path)
    rows, planes = loaded[10:20, 5:9], qyn.decompose(loaded)
    red = planes[0][::3]
    del loaded, planes
    gc.collect()
    np.zeros((64, 48, 4), np.uint8)  # memory that a freed buffer could be handed out as
    np.testing.assert_array_equal(bgr(rows), bgr(pixels[10:20, 5:9]))
    np.testing.assert_array_equal(red, pixels[::3, :, 2])


def test_a_forked_child_converts():
    """multiprocessing forks: the child has none of the conversion threads of its parent."""
    large = image(2048, 2048, True)  # shared among threads
    expected = qyn.gray(large)
    child = os.fork()
    if child == 0:
        os._exit(0 if np.array_equal(qyn.gray(large), expected) else 1)
    for _ in range(200):
        done, status = os.waitpid(child, os.WNOHANG)
        if done:
            assert os.waitstatus_to_exitcode(status) == 0
            return
        time.sleep(0.05)
    os.kill(child, 9)
    os.waitpid(child, 0)
    pytest.fail("the forked child's conversion never finished")


class FakeCamera:
    """Aravis's simulated GigE Vision camera on the loopback interface."""

    WIDTH, HEIGHT = 128, 96  # small frames: larger bursts get lost on a loaded machine

    def __init__(self):
        self.name = f"Aravis-Fake-QYNPY{os.getpid()}{uuid.uuid4().hex[:4]}"
        self.process = subprocess.Popen(["arv-fake-gv-camera-0.8", "-i", "127.0.0.1", "-s", self.name[12:]],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_listed(self):
        for _ in range(30):
            listed = subprocess.run(["arv-tool-0.8"], capture_output=True, text=True, timeout=5).stdout
            # Listed, the camera may still miss a control request now and then: asked again.
            if self.name in listed and subprocess.run(
                    ["arv-tool-0.8", "-n", self.name, "control", f"Width={self.WIDTH}", f"Height={self.HEIGHT}"],
                    capture_output=True, timeout=10).returncode == 0:
                return True
            time.sleep(0.5)
        return False

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(5)


@pytest.fixture(scope="module")
def fake_camera():
    for tool in ("arv-fake-gv-camera-0.8", "arv-tool-0.8"):
        if not shutil.which(tool):
            pytest.skip(f"{tool} is not installed (Debian packages aravis-tools, aravis-tools-cli)")
    assert RAW_NETWORK_DROPPED
    camera = FakeCamera()
    try:
        assert camera.wait_listed(), "the simulated camera did not appear in arv-tool-0.8's list"
        yield camera
    finally:
        camera.stop()


@pytest.mark.parametrize("format,caps,shape", [
    ("gray8", "video/x-raw,format=GRAY8", (96, 128)),
    ("colour", "video/x-raw,format=GRAY8", (96, 128, 4)),
])
def test_simulated_camera_frames(tmp_path, fake_camera, format, caps, shape):
    config = tmp_path / "camera.ini"
    config.write_text(f"[video]\nsource = aravissrc camera-name={fake_camera.name} ! {caps}\n"
                      f"format = {format}\ntimeout_ms = 5000\n")
    with qyn.Camera(config) as camera:
        first, second = camera.grab(), camera.grab()
        assert first.shape == shape and first.dtype == np.uint8
        assert first.base is not second.base  # each frame its own buffer
        assert first.any()
        with camera.frames(queue=2) as stream:
            streamed = [next(stream) for _ in range(3)]
            with pytest.raises(qyn.Error):
                camera.grab()  # the stream holds the camera
        assert not stream.running and all(f.shape == shape for f in streamed)
        kept = camera.grab()[40:50]  # the device opened again after the stream
        copy = kept.copy()
    del camera
    gc.collect()
    np.testing.assert_array_equal(kept, copy)  # the frame outlives the camera


def test_missing_camera_configuration(tmp_path):
    with pytest.raises(qyn.Error) as raised:
        qyn.Camera(tmp_path / "none.ini")
    assert raised.value.code == 3001
