#pragma once

#include <QByteArray>
#include <QString>

// File names as the system stores them are bytes; most are UTF-8, some (written by older
// systems, some network shares) are not. These two carry any name through a QString and
// back unchanged: valid UTF-8 decodes as usual, and each byte of an invalid sequence
// becomes the lone surrogate U+DC00 + byte, which no valid name contains. Every file the
// components open goes through qynPathToNative.
QString qynPathFromNative(const QByteArray& native);
QByteArray qynPathToNative(const QString& path);
