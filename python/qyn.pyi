"""QynSample's component library for NumPy: image files, conversions and cameras.

Gray images are uint8 arrays of shape (h, w); colour images uint8 arrays of shape
(h, w, 4) holding B, G, R, X bytes. Arrays the module returns share the library's
pixels and keep them alive as long as they or any view of them exist.
"""

import os
from typing import Iterator, Sequence, Union

import numpy as np
import numpy.typing as npt

Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
Image = npt.NDArray[np.uint8]

class Error(Exception):
    """A failure of the library, with its result code and message."""
    code: int
    message: str

def load(path: Path) -> Image:
    """Reads an image file: gray files as (h, w), all others as (h, w, 4) B, G, R, X."""
def save(path: Path, image: Image) -> None:
    """Writes the image whole or not at all, in the format the extension names."""
def compose(red: Image, green: Image, blue: Image) -> Image:
    """Three gray planes of one shape become one colour image (X byte 0)."""
def decompose(image: Image) -> tuple[Image, Image, Image]:
    """A colour image becomes its red, green and blue planes."""
def gray(image: Image, weights: tuple[float, float, float] = (0.299, 0.587, 0.144)) -> Image:
    """A colour image becomes gray: wr * R + wg * G + wb * B, halves to even, clamped."""
def color(image: Image, table: Sequence[int] | None = None) -> Image:
    """A gray image becomes colour through a 256-entry table of 0x00RRGGBB words."""
def standard_table() -> list[int]:
    """The colour table color() takes by default: level i -> (255 - i, 255 - i, i)."""
def set_threads(threads: int) -> None:
    """Threads that share one large conversion: 0 = one per core."""

class FrameStream:
    """Live frames of a camera; each array owns its frame."""
    @property
    def running(self) -> bool: ...
    @property
    def dropped(self) -> int: ...
    def __iter__(self) -> Iterator[Image]: ...
    def __next__(self) -> Image: ...
    def stop(self) -> None: ...
    def __enter__(self) -> FrameStream: ...
    def __exit__(self, *args: object) -> None: ...

class Camera:
    """The camera a video configuration file describes, opened at once."""
    def __init__(self, config_path: Path) -> None: ...
    def grab(self) -> Image:
        """A frame taken after the call began, as a fresh array that owns it."""
    def frames(self, queue: int = 4) -> FrameStream:
        """Streams every frame; at most `queue` wait, the oldest dropped first."""
    def __iter__(self) -> Iterator[Image]: ...
    def close(self) -> None: ...
    def __enter__(self) -> Camera: ...
    def __exit__(self, *args: object) -> None: ...
