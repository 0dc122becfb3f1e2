// The Python module qyn: the component library's files, conversions and cameras for
// NumPy arrays, without copies (docs/python.md).
#include "ColorTable.h"
#include "QynChangeImage.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynPlaneConverter.h"
#include "QynPyArrays.h"
#include "QynPyCamera.h"
#include "QynPyError.h"
#include "QynPyPath.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

#include <pthread.h>
#include <vector>

namespace py = pybind11;
using QynPyArrays::Source;

namespace {

// The conversions share one converter and its threads, one conversion at a time.
struct SharedConverter {
    std::mutex mutex;
    QynPlaneConverter converter;
};
SharedConverter* shared = new SharedConverter;  // never destroyed: see afterForkInChild

// A child forked by the script (multiprocessing) has none of the converter's threads, and
// a conversion in another thread may have held the lock at the fork: the child takes a
// new converter and leaves the old one alone, as there are no threads of it to join.
void afterForkInChild()
{
    const int threads = shared->converter.threadCount();
    shared = new SharedConverter;
    shared->converter.setThreadCount(threads);
}

std::mutex& converterMutex()
{
    return shared->mutex;
}

QynPlaneConverter& converter()
{
    return shared->converter;
}

QString fileFailure(std::int32_t code, const QString& why)
{
    return why.isEmpty() ? QynFileAccess::resultText(code) : why;
}

py::array load(const py::object& path)
{
    const QString file = qynPyPath(path);
    std::shared_ptr<QynPixelBuffer> pixels;
    std::int32_t code = 0;
    QString why;
    {
        py::gil_scoped_release released;
        QynImage slot;
        code = QynFileAccess::loadFile(file, slot, &why);
        if (code == 0)
            pixels = slot.takePixels();
    }
    if (code != 0)
        throw QynPyError(code, QStringLiteral("cannot read %1: %2").arg(file, fileFailure(code, why)));
    return QynPyArrays::arrayOf(std::move(pixels));
}

void save(const py::object& path, const py::object& image)
{
    const QString file = qynPyPath(path);
    const QynPixelFormat format = QynPyArrays::formatOf(image, "image");
    const Source source = QynPyArrays::source(image, format, "image");
    // An array of ours is written from its own buffer; any other is copied into one
    // first, as the encoders take whole buffers (the file is the slower part anyway).
    std::shared_ptr<QynPixelBuffer> pixels = QynPyArrays::wholeBufferOf(source.array);
    std::int32_t code = 0;
    QString why;
    {
        py::gil_scoped_release released;
        if (!pixels) {
            pixels = QynPyArrays::newBuffer(source.width, source.height, format);
            const auto rowBytes = static_cast<std::size_t>(source.width * qynBytesPerPixel(format));
            for (int y = 0; y < pixels->height(); ++y)
                std::memcpy(pixels->row(y), source.plane.row(y), rowBytes);
        }
        QynImage slot;
        slot.assign(pixels);
        code = QynFileAccess::saveFile(file, slot, &why);
    }
    if (code != 0)
        throw QynPyError(code, QStringLiteral("cannot write %1: %2").arg(file, fileFailure(code, why)));
}

py::array compose(const py::object& red, const py::object& green, const py::object& blue)
{
    const Source r = QynPyArrays::source(red, QynPixelFormat::Gray8, "red");
    const Source g = QynPyArrays::source(green, QynPixelFormat::Gray8, "green");
    const Source b = QynPyArrays::source(blue, QynPixelFormat::Gray8, "blue");
    for (const Source* s : {&g, &b})
        if (s->width != r.width || s->height != r.height)
            throw QynPyError(QynChangeImage::SizeMismatch, "red, green and blue must have the same shape");
    std::shared_ptr<QynPixelBuffer> color = QynPyArrays::newBuffer(r.width, r.height, QynPixelFormat::Color32);
    {
        py::gil_scoped_release released;
        const std::lock_guard lock(converterMutex());
        converter().compose(r.plane, g.plane, b.plane, QynPyArrays::planeOf(*color), r.width, r.height);
    }
    return QynPyArrays::arrayOf(std::move(color));
}

py::tuple decompose(const py::object& image)
{
    const Source c = QynPyArrays::source(image, QynPixelFormat::Color32, "image");
    std::array<std::shared_ptr<QynPixelBuffer>, 3> planes;
    for (auto& plane : planes)
        plane = QynPyArrays::newBuffer(c.width, c.height, QynPixelFormat::Gray8);
    {
        py::gil_scoped_release released;
        const std::lock_guard lock(converterMutex());
        converter().decompose(c.plane, QynPyArrays::planeOf(*planes[0]), QynPyArrays::planeOf(*planes[1]),
                              QynPyArrays::planeOf(*planes[2]), c.width, c.height);
    }
    return py::make_tuple(QynPyArrays::arrayOf(planes[0]), QynPyArrays::arrayOf(planes[1]),
                          QynPyArrays::arrayOf(planes[2]));
}

py::array gray(const py::object& image, const std::array<double, 3>& weights)
{
    const Source c = QynPyArrays::source(image, QynPixelFormat::Color32, "image");
    if (!std::all_of(weights.begin(), weights.end(), [](double w) { return std::isfinite(w); }))
        throw QynPyError(QynChangeImage::BadParameter, "the weights must be finite numbers");
    std::shared_ptr<QynPixelBuffer> out = QynPyArrays::newBuffer(c.width, c.height, QynPixelFormat::Gray8);
    {
        py::gil_scoped_release released;
        const std::lock_guard lock(converterMutex());
        converter().colorToGray(c.plane, QynPyArrays::planeOf(*out), c.width, c.height,
                                {weights[0], weights[1], weights[2]});
    }
    return QynPyArrays::arrayOf(std::move(out));
}

py::array color(const py::object& image, const std::optional<py::sequence>& table)
{
    const Source g = QynPyArrays::source(image, QynPixelFormat::Gray8, "image");
    std::uint32_t entries[256];
    if (table) {
        if (py::len(*table) != 256)
            throw QynPyError(QynChangeImage::BadParameter,
                             "the colour table must have 256 entries, not " + std::to_string(py::len(*table)));
        for (std::size_t i = 0; i < 256; ++i) {
            const long long entry = (*table)[i].cast<long long>();
            if (entry < INT32_MIN || entry > UINT32_MAX)
                throw QynPyError(QynChangeImage::BadParameter,
                                 "colour table entry " + std::to_string(i) + " does not fit in 32 bits");
            entries[i] = static_cast<std::uint32_t>(entry);
        }
    } else {
        const auto standard = *qyn::grayToColorTable();
        std::transform(standard.begin(), standard.end(), entries, [](std::int32_t e) { return static_cast<std::uint32_t>(e); });
    }
    std::shared_ptr<QynPixelBuffer> out = QynPyArrays::newBuffer(g.width, g.height, QynPixelFormat::Color32);
    {
        py::gil_scoped_release released;
        const std::lock_guard lock(converterMutex());
        converter().grayToColor(g.plane, QynPyArrays::planeOf(*out), g.width, g.height, entries);
    }
    return QynPyArrays::arrayOf(std::move(out));
}

std::vector<std::int64_t> standardTable()
{
    const auto standard = *qyn::grayToColorTable();
    return {standard.begin(), standard.end()};
}

void setThreads(int threads)
{
    py::gil_scoped_release released;
    const std::lock_guard lock(converterMutex());
    converter().setThreadCount(threads);
}

}  // namespace

PYBIND11_MODULE(qyn, m)
{
    m.doc() = "QynSample's component library for NumPy: image files, colour and gray conversions and\n"
              "cameras, with arrays that share the library's pixels (no copies).\n\n"
              "Gray images are uint8 arrays of shape (h, w); colour images uint8 arrays of shape\n"
              "(h, w, 4) holding B, G, R, X bytes (the library's 0x00RRGGBB words). Arrays the module\n"
              "returns keep their pixels alive as long as they or any view of them exist.";
    QynPyError::registerIn(m);
    ::pthread_atfork(nullptr, nullptr, &afterForkInChild);

    m.def("load", &load, py::arg("path"),
          "load(path) -> array\n\n"
          "Reads an image file (BMP, PNG, JPEG, TIFF, PGM, PPM) with the library's checks: gray\n"
          "files give (h, w) uint8, all others (h, w, 4) uint8 B, G, R, X. Raises qyn.Error\n"
          "(2001-2009) when the file cannot be read. The GIL is released while reading.");
    m.def("save", &save, py::arg("path"), py::arg("image"),
          "save(path, image) -> None\n\n"
          "Writes a gray (h, w) or colour (h, w, 4) uint8 array in the format the extension names\n"
          "(BMP for any other), whole or not at all: a failed save leaves the old file as it was.\n"
          "Arrays from this module are written from their own memory; others are copied once.\n"
          "Raises qyn.Error (2001-2009). The GIL is released while writing.");
    m.def("compose", &compose, py::arg("red"), py::arg("green"), py::arg("blue"),
          "compose(red, green, blue) -> array\n\n"
          "Three gray (h, w) planes of one shape become one colour (h, w, 4) image, X byte 0;\n"
          "as qynconvert compose, bit for bit. The GIL is released while converting.");
    m.def("decompose", &decompose, py::arg("image"),
          "decompose(image) -> (red, green, blue)\n\n"
          "A colour (h, w, 4) image becomes three gray (h, w) planes; as qynconvert decompose.");
    m.def("gray", &gray, py::arg("image"), py::arg("weights") = std::array<double, 3>{299 * 0.001, 587 * 0.001, 144 * 0.001},
          "gray(image, weights=(0.299, 0.587, 0.144)) -> array\n\n"
          "A colour (h, w, 4) image becomes gray (h, w): each pixel's level is\n"
          "wr * R + wg * G + wb * B in IEEE double, halves to even, clamped to 0..255; as\n"
          "qynconvert gray --weights with the weights in thousandths (0.299 = 299 * 0.001).");
    m.def("color", &color, py::arg("image"), py::arg("table") = py::none(),
          "color(image, table=None) -> array\n\n"
          "A gray (h, w) image becomes colour (h, w, 4): each pixel the table's entry for its\n"
          "level, a 0x00RRGGBB word stored whole. The table has 256 entries; None takes\n"
          "qynconvert color's (level i -> (255 - i, 255 - i, i)), as standard_table() gives it.");
    m.def("standard_table", &standardTable,
          "standard_table() -> list[int]\n\nThe colour table color() takes by default.");
    m.def("set_threads", &setThreads, py::arg("threads"),
          "set_threads(threads) -> None\n\n"
          "Threads that share one large conversion: 0 (the default) = one per core, at most 256.");
    QynPyCamera::registerIn(m);
}
