#include "QynPyPath.h"

#include "QynNativePath.h"

#include <string>

QString qynPyPath(const pybind11::object& path)
{
    const pybind11::bytes native = pybind11::module_::import("os").attr("fsencode")(path);
    return qynPathFromNative(QByteArray::fromStdString(std::string(native)));
}
