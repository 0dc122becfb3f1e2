#include "QynNativePath.h"

#include <cstdint>

namespace {

constexpr char16_t EscapeBase = 0xdc00;

// Length of the valid UTF-8 sequence at s[i], or 0. Overlong forms, surrogates and code
// points past U+10FFFF are invalid, as the standard says.
int validSequence(const unsigned char* s, qsizetype i, qsizetype n)
{
    const unsigned char c = s[i];
    if (c < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xbf;  // range of the second byte
    if (c >= 0xc2 && c <= 0xdf) {
        length = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        length = 3;
        if (c == 0xe0)
            low = 0xa0;
        else if (c == 0xed)
            high = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        length = 4;
        if (c == 0xf0)
            low = 0x90;
        else if (c == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (i + length > n || s[i + 1] < low || s[i + 1] > high)
        return 0;
    for (int k = 2; k < length; ++k)
        if ((s[i + k] & 0xc0) != 0x80)
            return 0;
    return length;
}

}  // namespace

QString qynPathFromNative(const QByteArray& native)
{
    const auto* s = reinterpret_cast<const unsigned char*>(native.constData());
    const qsizetype n = native.size();
    QString path;
    path.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        qsizetype run = i;  // a run of valid sequences decodes in one go
        while (run < n) {
            const int length = validSequence(s, run, n);
            if (length == 0)
                break;
            run += length;
        }
        path += QString::fromUtf8(native.constData() + i, run - i);
        if (run < n)
            path += QChar(static_cast<char16_t>(EscapeBase + s[run++]));
        i = run;
    }
    return path;
}

QByteArray qynPathToNative(const QString& path)
{
    QByteArray native;
    native.reserve(path.size());
    qsizetype i = 0;
    const qsizetype n = path.size();
    while (i < n) {
        qsizetype run = i;
        while (run < n && !(path[run].unicode() >= EscapeBase + 0x80 && path[run].unicode() <= EscapeBase + 0xff
                            && !(run > 0 && path[run - 1].isHighSurrogate())))
            ++run;
        native += QStringView(path).mid(i, run - i).toUtf8();
        if (run < n)
            native += static_cast<char>(path[run++].unicode() - EscapeBase);
        i = run;
    }
    return native;
}
