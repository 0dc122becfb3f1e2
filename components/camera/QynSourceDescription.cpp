#include "QynSourceDescription.h"

#include <QRegularExpression>

namespace {

// The name of a "name=value" word; the whole word when it has no "=".
QString nameOf(const QString& word)
{
    const qsizetype eq = word.indexOf(QLatin1Char('='));
    return eq < 0 ? word : word.left(eq);
}

bool plainWord(const QString& value)
{
    if (value.isEmpty())
        return false;
    for (const QChar c : value)
        if (c.isSpace() || c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('!') ||
            c == QLatin1Char(';') || c == QLatin1Char('#'))
            return false;
    return true;
}

// Within double quotes: takes the character at i, and the one a backslash escapes, into
// out; false when it closes the quote.
bool takeQuoted(const QString& text, qsizetype& i, QString& out)
{
    const QChar c = text[i];
    out += c;
    if (c == QLatin1Char('\\') && i + 1 < text.size()) {
        out += text[++i];
        return true;
    }
    return c != QLatin1Char('"');
}

// "width = 64" as "width=64".
QString tidy(const QString& field)
{
    const qsizetype eq = field.indexOf(QLatin1Char('='));
    if (eq < 0)
        return field.trimmed();
    return field.left(eq).trimmed() + QLatin1Char('=') + field.mid(eq + 1).trimmed();
}

// Splits caps text at the commas between its fields, not at those inside quotes or
// brackets: "video/x-raw,format={ GRAY8, BGRx },width=64".
QStringList capsParts(const QString& caps)
{
    QStringList parts;
    QString part;
    int depth = 0;
    bool inQuote = false;
    for (qsizetype i = 0; i < caps.size(); ++i) {
        const QChar c = caps[i];
        if (inQuote) {
            inQuote = takeQuoted(caps, i, part);
            continue;
        }
        if (c == QLatin1Char('"'))
            inQuote = true;
        else if (c == QLatin1Char('(') || c == QLatin1Char('[') || c == QLatin1Char('{') || c == QLatin1Char('<'))
            ++depth;
        else if (c == QLatin1Char(')') || c == QLatin1Char(']') || c == QLatin1Char('}') || c == QLatin1Char('>'))
            --depth;
        else if (c == QLatin1Char(',') && depth == 0) {
            parts << tidy(part);
            part.clear();
            continue;
        }
        part += c;
    }
    parts << tidy(part);
    return parts;
}

// Sets, replaces or (with an empty value) removes "name=value" words, keeping the place of
// the first one of that name.
void setWord(QStringList& words, qsizetype from, const QString& name, const QString& word, bool remove)
{
    qsizetype at = -1;
    for (qsizetype i = from; i < words.size();) {
        if (nameOf(words[i]) != name) {
            ++i;
        } else if (at < 0 && !remove) {
            words[i] = word;
            at = i++;
        } else {
            words.removeAt(i);
        }
    }
    if (at < 0 && !remove)
        words << word;
}

}  // namespace

QynSourceDescription::QynSourceDescription(const QString& text)
{
    Words words;
    QString word;
    bool inQuote = false;
    bool inWord = false;
    const auto flush = [&] {
        if (inWord)
            words << word;
        word.clear();
        inWord = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuote) {
            inQuote = takeQuoted(text, i, word);
        } else if (c.isSpace()) {
            flush();
        } else if (c == QLatin1Char('!')) {
            flush();
            elements_.push_back(words);
            words.clear();
        } else {
            inQuote = c == QLatin1Char('"');
            word += c;
            inWord = true;
        }
    }
    flush();
    elements_.push_back(words);
    // The parser allows spaces around "=": "exposure = 800" is one assignment.
    for (Words& element : elements_)
        for (qsizetype i = 1; i < element.size(); ++i) {
            const bool joinsPrevious = element[i].startsWith(QLatin1Char('=')) ||
                                       (element[i - 1].endsWith(QLatin1Char('=')) && !element[i - 1].contains(QLatin1Char('"')));
            if (joinsPrevious && i > 1) {  // never into the factory name
                element[i - 1] += element[i];
                element.removeAt(i--);
            }
        }
}

int QynSourceDescription::find(const QString& element) const
{
    for (std::size_t i = 0; i < elements_.size(); ++i)
        if (!elements_[i].isEmpty() && elements_[i].front() == element)
            return int(i);
    return -1;
}

bool QynSourceDescription::isCaps(const Words& words)
{
    if (words.size() != 1)
        return false;
    const QString caps = unquoted(words.front());
    const qsizetype slash = caps.indexOf(QLatin1Char('/'));
    const qsizetype eq = caps.indexOf(QLatin1Char('='));
    return slash > 0 && (eq < 0 || slash < eq) && !caps.left(slash).contains(QLatin1Char(','));
}

std::optional<QString> QynSourceDescription::property(const QString& element, const QString& name) const
{
    const int at = find(element);
    if (at < 0)
        return std::nullopt;
    const Words& words = elements_[std::size_t(at)];
    for (qsizetype i = 1; i < words.size(); ++i)
        if (nameOf(words[i]) == name && words[i].size() > name.size())
            return words[i].mid(name.size() + 1);
    return std::nullopt;
}

std::optional<QString> QynSourceDescription::capsAfter(const QString& element) const
{
    const int at = find(element);
    if (at < 0 || std::size_t(at) + 1 >= elements_.size() || !isCaps(elements_[std::size_t(at) + 1]))
        return std::nullopt;
    return unquoted(elements_[std::size_t(at) + 1].front());
}

QString QynSourceDescription::quoted(const QString& value)
{
    if (plainWord(value))
        return value;
    QString out = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

QString QynSourceDescription::unquoted(const QString& word)
{
    if (!word.startsWith(QLatin1Char('"')))
        return word;
    QString out;
    for (qsizetype i = 1; i < word.size(); ++i) {
        const QChar c = word[i];
        if (c == QLatin1Char('\\') && i + 1 < word.size())
            out += word[++i];
        else if (c == QLatin1Char('"'))
            break;
        else
            out += c;
    }
    return out;
}

QString QynSourceDescription::changed(const QynSourceChange& change, QString* problem) const
{
    const auto failed = [problem](QString why) {
        if (problem)
            *problem = std::move(why);
        return QString();
    };
    const int at = find(change.element);
    if (at < 0)
        return failed(QStringLiteral("the source has no %1").arg(change.element));
    std::vector<Words> elements = elements_;
    Words& words = elements[std::size_t(at)];

    for (const auto& [name, value] : change.properties)
        setWord(words, 1, name, name + QLatin1Char('=') + quoted(value), value.isEmpty());

    if (!change.featuresProperty.isEmpty() && !change.features.empty()) {
        const std::optional<QString> given = property(change.element, change.featuresProperty);
        QStringList features = given ? unquoted(*given).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)
                                     : QStringList();
        for (const auto& feature : change.features) {
            const QString& name = feature.first;  // a lambda below takes it: Clang 14 captures no bindings
            const QString& value = feature.second;
            if (value.contains(QRegularExpression(QStringLiteral("\\s"))))
                return failed(QStringLiteral("%1 = \"%2\" cannot go into %3: a feature's value there is one word")
                                  .arg(name, value, change.featuresProperty));
            // The camera applies them in order: the change's own order (an automatic mode
            // before its value) follows the words it leaves alone.
            features.removeIf([&](const QString& w) { return nameOf(w) == name; });
            if (!value.isEmpty())
                features << name + QLatin1Char('=') + value;
        }
        const QString joined = features.join(QLatin1Char(' '));
        setWord(words, 1, change.featuresProperty, change.featuresProperty + QLatin1Char('=') + quoted(joined),
                joined.isEmpty());
    }

    if (!change.capsMediaType.isEmpty() || !change.capsFields.empty()) {
        const std::size_t next = std::size_t(at) + 1;
        QStringList parts;
        if (next < elements.size() && isCaps(elements[next])) {
            parts = capsParts(unquoted(elements[next].front()));
        } else if (next < elements.size() && !elements[next].isEmpty() &&
                   elements[next].front().contains(QLatin1Char('/')) && !elements[next].front().contains(QLatin1Char('='))) {
            return failed(QStringLiteral("the caps after %1 hold spaces; write them without spaces to have them changed")
                              .arg(change.element));
        } else {
            if (change.capsMediaType.isEmpty())
                return failed(QStringLiteral("the source has no caps after %1 to change").arg(change.element));
            parts << change.capsMediaType;
            elements.insert(elements.begin() + std::ptrdiff_t(next), Words{QString()});
        }
        if (!change.capsMediaType.isEmpty())
            parts[0] = change.capsMediaType;
        for (const auto& [name, value] : change.capsFields) {
            // Fields are matched by name, whatever type prefix their value has.
            setWord(parts, 1, name, name + QLatin1Char('=') + value, value.isEmpty());
        }
        elements[next] = Words{quoted(parts.join(QLatin1Char(',')))};
    }

    QStringList out;
    for (const Words& element : elements)
        out << element.join(QLatin1Char(' '));
    return out.join(QStringLiteral(" ! "));
}
