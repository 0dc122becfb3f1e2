#include "QynPyError.h"

namespace py = pybind11;

namespace {

PyObject* errorClass = nullptr;  // qyn.Error; lives as long as the module

const char* const ErrorDoc =
    "A failure of the library: a file that cannot be read or written, a conversion it\n"
    "refuses, a camera that gives no frame.\n\n"
    "code: the library's result code (1501-1552 conversions, 2001-2009 files,\n"
    "3001-3013 cameras; docs/python.md lists them).\n"
    "message: what went wrong, in words.";

}  // namespace

void QynPyError::registerIn(py::module_& module)
{
    errorClass = PyErr_NewExceptionWithDoc("qyn.Error", ErrorDoc, PyExc_Exception, nullptr);
    if (!errorClass)
        throw py::error_already_set();
    module.add_object("Error", py::handle(errorClass));
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure)
                std::rethrow_exception(failure);
        } catch (const QynPyError& e) {
            // str(error) reads "message (code)", as qynconvert reports failures.
            const std::string text = std::string(e.what()) + " (" + std::to_string(e.code()) + ")";
            py::object error = py::reinterpret_borrow<py::object>(errorClass)(text);
            error.attr("code") = e.code();
            error.attr("message") = e.what();
            PyErr_SetObject(errorClass, error.ptr());
        }
    });
}
