#include "QynVideoConfig.h"

#include <QFile>
#include <QFileInfo>

#include <ini.h>

#include <algorithm>
#include <charconv>
#include <string>

namespace {

struct Key {
    const char* name;
    bool required;
};
constexpr Key Keys[] = {
    {"source", true},  {"width", false},        {"height", false},
    {"format", true},  {"timeout_ms", false},  {"warmup_frames", false},
};
constexpr int KeyCount = static_cast<int>(std::size(Keys));

// Hands inih the text one line at a time and remembers whether the line it handed out last
// was indented: inih reports an indented continuation line as its key given again.
struct LineReader {
    std::string_view text;
    bool indented = false;

    static char* next(char* line, int size, void* stream)
    {
        auto& r = *static_cast<LineReader*>(stream);
        if (r.text.empty() || size < 2)
            return nullptr;
        std::size_t n = std::min(r.text.find('\n'), r.text.size() - 1) + 1;
        n = std::min(n, std::size_t(size - 1));
        r.text.copy(line, n);
        line[n] = '\0';
        r.text.remove_prefix(n);
        r.indented = line[0] == ' ' || line[0] == '\t';
        return line;
    }
};

struct ParseState {
    const LineReader* lines = nullptr;
    QynVideoConfig config;
    bool seen[KeyCount] = {};
    QString error;  // the first problem; parsing goes on but the result is refused
};

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// A plain decimal number within [low, high]; no sign, no spaces, no suffix.
bool parseInt(std::string_view text, int low, int high, int& out)
{
    int value = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

QString fromIni(const char* text)
{
    return QString::fromUtf8(text);
}

void setValue(ParseState& s, int key, std::string_view value)
{
    QynVideoConfig& c = s.config;
    const QString name = QString::fromLatin1(Keys[key].name);
    const auto bad = [&](const char* expected) {
        s.error = QStringLiteral("%1 = \"%2\" is not %3")
                      .arg(name, QString::fromUtf8(value.data(), qsizetype(value.size())),
                           QString::fromLatin1(expected));
    };
    switch (key) {
    case 0:
        if (!c.source.isEmpty())  // an indented line continues the description
            c.source += QLatin1Char(' ');
        c.source += QString::fromUtf8(value.data(), qsizetype(value.size()));
        break;
    case 1:
        if (!parseInt(value, 1, QynVideoConfig::MaxSide, c.width))
            bad("a width from 1 to 16384");
        break;
    case 2:
        if (!parseInt(value, 1, QynVideoConfig::MaxSide, c.height))
            bad("a height from 1 to 16384");
        break;
    case 3:
        if (sameName(value, "gray8"))
            c.format = QynPixelFormat::Gray8;
        else if (sameName(value, "colour") || sameName(value, "color"))
            c.format = QynPixelFormat::Color32;
        else
            bad("gray8 or colour");
        break;
    case 4:
        if (!parseInt(value, 1, QynVideoConfig::MaxTimeoutMs, c.timeoutMs))
            bad("a time from 1 to 600000 ms");
        break;
    case 5:
        if (!parseInt(value, 0, QynVideoConfig::MaxWarmupFrames, c.warmupFrames))
            bad("a count from 0 to 1000");
        break;
    default: break;
    }
}

int onValue(void* user, const char* section, const char* name, const char* value)
{
    auto& s = *static_cast<ParseState*>(user);
    if (!s.error.isEmpty())
        return 1;
    if (!sameName(section, "video")) {
        if (*section == '\0')
            s.error = QStringLiteral("%1 comes before the [video] section").arg(fromIni(name));
        return 1;  // other sections belong to someone else
    }
    for (int key = 0; key < KeyCount; ++key) {
        if (!sameName(name, Keys[key].name))
            continue;
        // Only the source may be long enough to need an indented continuation line; a
        // second "source =" line is given twice like any other key.
        if (s.seen[key] && !(key == 0 && s.lines->indented)) {
            s.error = QStringLiteral("%1 is given twice").arg(fromIni(name));
            return 1;
        }
        s.seen[key] = true;
        setValue(s, key, value);
        return 1;
    }
    s.error = QStringLiteral("unknown key %1").arg(fromIni(name));
    return 1;
}

// inih silently splits lines longer than its buffer and stops at a NUL byte.
QString checkLines(std::string_view text)
{
    int lineNo = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] == '\0')
            return QStringLiteral("line %1 holds a NUL byte: not a text file").arg(lineNo);
        if (i == text.size() || text[i] == '\n') {
            if (i - lineStart > std::size_t(QynVideoConfig::MaxLineLength))
                return QStringLiteral("line %1 is longer than %2 characters; continue it on an "
                                      "indented line")
                    .arg(lineNo)
                    .arg(QynVideoConfig::MaxLineLength);
            lineStart = i + 1;
            ++lineNo;
        }
    }
    return {};
}

QynVideoConfigResult contentProblem(QString message)
{
    QynVideoConfigResult r;
    r.problem = QynVideoConfigResult::Problem::Content;
    r.message = std::move(message);
    return r;
}

}  // namespace

QString QynVideoConfig::capsText() const
{
    QString caps = QStringLiteral("video/x-raw,format=%1")
                       .arg(format == QynPixelFormat::Gray8 ? QStringLiteral("GRAY8") : QStringLiteral("BGRx"));
    if (!nativeSize())
        caps += QStringLiteral(",width=%1,height=%2").arg(width).arg(height);
    return caps;
}

namespace qyn {

QynVideoConfigResult parseVideoConfig(std::string_view text)
{
    if (QString problem = checkLines(text); !problem.isEmpty())
        return contentProblem(problem);
    LineReader lines{text};
    ParseState state;
    state.lines = &lines;
    const int bad = ini_parse_stream(&LineReader::next, &lines, onValue, &state);
    if (bad > 0)
        return contentProblem(QStringLiteral("line %1 is not \"key = value\" or a [section]").arg(bad));
    if (bad < 0)
        return contentProblem(QStringLiteral("out of memory while reading the configuration"));
    if (!state.error.isEmpty())
        return contentProblem(state.error);
    for (int key = 0; key < KeyCount; ++key)
        if (Keys[key].required && !state.seen[key])
            return contentProblem(QStringLiteral("the [video] section has no %1").arg(QString::fromLatin1(Keys[key].name)));
    if (state.config.source.trimmed().isEmpty())
        return contentProblem(QStringLiteral("source is empty"));
    if (state.seen[1] != state.seen[2])
        return contentProblem(QStringLiteral("width and height go together: give both, or neither for the "
                                             "camera's own frame size"));
    QynVideoConfigResult r;
    r.config = state.config;
    return r;
}

QynVideoConfigResult readVideoConfig(const QString& path)
{
    QynVideoConfigResult r;
    r.problem = QynVideoConfigResult::Problem::File;
    if (path.isEmpty()) {
        r.message = QStringLiteral("no video configuration file was given");
        return r;
    }
    const QFileInfo info(path);
    if (!info.exists()) {
        r.message = QStringLiteral("%1 does not exist").arg(path);
        return r;
    }
    if (!info.isFile()) {
        r.message = QStringLiteral("%1 is not a file").arg(path);
        return r;
    }
    if (info.size() > QynVideoConfig::MaxFileBytes) {
        r.message = QStringLiteral("%1 is too large for a video configuration").arg(path);
        return r;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.message = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return r;
    }
    const QByteArray bytes = file.read(QynVideoConfig::MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        r.message = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return r;
    }
    if (bytes.size() > QynVideoConfig::MaxFileBytes) {
        r.message = QStringLiteral("%1 is too large for a video configuration").arg(path);
        return r;
    }
    r = parseVideoConfig(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!r.ok())
        r.message = QStringLiteral("%1: %2").arg(path, r.message);
    return r;
}

}  // namespace qyn
