#include "QynPyArrays.h"

#include "QynChangeImage.h"
#include "QynPyError.h"

#include <new>
#include <string>

namespace py = pybind11;

namespace {

// The name our capsules carry: an array whose base has it views one of our buffers.
constexpr const char* CapsuleName = "qyn.QynPixelBuffer";

using SharedPixels = std::shared_ptr<QynPixelBuffer>;

std::string shapeText(const py::array& array)
{
    std::string text = "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i)
        text += (i ? ", " : "") + std::to_string(array.shape(i));
    return text + (array.ndim() == 1 ? ",)" : ")");
}

std::string stridesText(const py::array& array)
{
    std::string text = "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i)
        text += (i ? ", " : "") + std::to_string(array.strides(i));
    return text + ")";
}

py::array asArray(const py::handle& object, const char* role)
{
    if (!py::isinstance<py::array>(object))
        throw QynPyError(QynChangeImage::WrongArgumentType,
                         std::string(role) + " must be a numpy array, not " + std::string(py::str(py::type::of(object).attr("__name__"))));
    py::array array = py::reinterpret_borrow<py::array>(object);
    if (!array.dtype().is(py::dtype::of<std::uint8_t>()))
        throw QynPyError(QynChangeImage::WrongArgumentType,
                         std::string(role) + " must have dtype uint8, not " + std::string(py::str(array.dtype())));
    return array;
}

}  // namespace

namespace QynPyArrays {

py::array arrayOf(SharedPixels pixels)
{
    auto* share = new SharedPixels(std::move(pixels));
    PyObject* capsule = PyCapsule_New(share, CapsuleName, [](PyObject* self) {
        delete static_cast<SharedPixels*>(PyCapsule_GetPointer(self, CapsuleName));
    });
    if (!capsule) {
        delete share;
        throw py::error_already_set();
    }
    const py::object owner = py::reinterpret_steal<py::object>(capsule);
    QynPixelBuffer& buffer = **share;
    const py::ssize_t height = buffer.height();
    const py::ssize_t width = buffer.width();
    const py::ssize_t stride = buffer.stride();
    if (buffer.format() == QynPixelFormat::Gray8)
        return py::array(py::dtype::of<std::uint8_t>(), {height, width}, {stride, py::ssize_t{1}}, buffer.data(), owner);
    return py::array(py::dtype::of<std::uint8_t>(), {height, width, py::ssize_t{4}},
                     {stride, py::ssize_t{4}, py::ssize_t{1}}, buffer.data(), owner);
}

SharedPixels wholeBufferOf(const py::array& array)
{
    const py::object base = array.base();
    if (!base || !PyCapsule_IsValid(base.ptr(), CapsuleName))
        return nullptr;
    const SharedPixels& pixels = *static_cast<SharedPixels*>(PyCapsule_GetPointer(base.ptr(), CapsuleName));
    const bool gray = pixels->format() == QynPixelFormat::Gray8;
    const bool whole = array.data() == pixels->data() && array.ndim() == (gray ? 2 : 3)
        && array.shape(0) == pixels->height() && array.shape(1) == pixels->width()
        && array.strides(0) == pixels->stride() && array.strides(1) == (gray ? 1 : 4)
        && (gray || (array.shape(2) == 4 && array.strides(2) == 1))
        && array.dtype().is(py::dtype::of<std::uint8_t>());
    return whole ? pixels : nullptr;
}

QynPixelFormat formatOf(const py::handle& object, const char* role)
{
    const py::array array = asArray(object, role);
    if (array.ndim() == 2)
        return QynPixelFormat::Gray8;
    if (array.ndim() == 3 && array.shape(2) == 4)
        return QynPixelFormat::Color32;
    throw QynPyError(QynChangeImage::WrongImageKind,
                     std::string(role) + " must be gray (h, w) or colour (h, w, 4), not of shape " + shapeText(array));
}

Source source(const py::handle& object, QynPixelFormat format, const char* role)
{
    py::array array = asArray(object, role);
    const bool gray = format == QynPixelFormat::Gray8;
    const bool shaped = gray ? array.ndim() == 2 : array.ndim() == 3 && array.shape(2) == 4;
    if (!shaped)
        throw QynPyError(QynChangeImage::WrongImageKind,
                         std::string(role) + (gray ? " must be a gray image of shape (h, w)" : " must be a colour image of shape (h, w, 4)")
                             + ", not of shape " + shapeText(array));
    if (array.shape(0) == 0 || array.shape(1) == 0)
        throw QynPyError(QynChangeImage::NullArgument, std::string(role) + " is empty: shape " + shapeText(array));
    // The kernels take rows at any distance, but each row's pixels side by side.
    const bool sideBySide = gray ? array.strides(1) == 1 : array.strides(1) == 4 && array.strides(2) == 1;
    if (!sideBySide)
        throw QynPyError(QynChangeImage::BadParameter,
                         std::string(role) + " has strides " + stridesText(array) + ": each row's pixels must lie side by side ("
                             + (gray ? "strides (any, 1)" : "strides (any, 4, 1)")
                             + "); numpy.ascontiguousarray makes such a copy");
    Source s;
    s.plane = {static_cast<const std::uint8_t*>(array.data()), array.strides(0)};
    s.height = array.shape(0);
    s.width = array.shape(1);
    s.array = std::move(array);
    return s;
}

SharedPixels newBuffer(std::ptrdiff_t width, std::ptrdiff_t height, QynPixelFormat format)
{
    try {
        if (width > QynPixelBuffer::MaxBufferSide || height > QynPixelBuffer::MaxBufferSide)
            throw std::bad_alloc();
        return std::make_shared<QynPixelBuffer>(static_cast<int>(width), static_cast<int>(height), format);
    } catch (const std::bad_alloc&) {
        throw QynPyError(QynChangeImage::ProcessingFailed,
                         "no memory for a " + std::to_string(width) + "x" + std::to_string(height) + " image (sides up to "
                             + std::to_string(QynPixelBuffer::MaxBufferSide) + ")");
    }
}

}  // namespace QynPyArrays
