#pragma once

#include <pybind11/pybind11.h>

#include <QString>

// A path from a script as the library takes it: str, bytes or os.PathLike, turned into
// the file system's bytes as os.fsencode does, so any name the system allows works.
QString qynPyPath(const pybind11::object& path);
