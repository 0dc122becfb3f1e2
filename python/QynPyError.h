#pragma once

#include <pybind11/pybind11.h>

#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>

// A failure of the library as a script sees it: qyn.Error with the library's result code
// (the codes of QynChangeImage, QynFileAccess and QynVideo) and a message. Thrown in C++,
// turned into the Python exception by the translator register() installs.
class QynPyError : public std::runtime_error {
public:
    QynPyError(std::int32_t code, const std::string& message) : std::runtime_error(message), code_(code) {}
    QynPyError(std::int32_t code, const char* message) : QynPyError(code, std::string(message)) {}
    QynPyError(std::int32_t code, const QString& message) : QynPyError(code, message.toStdString()) {}

    std::int32_t code() const { return code_; }

    // Creates qyn.Error in the module and the translator that raises it.
    static void registerIn(pybind11::module_& module);

private:
    std::int32_t code_;
};
