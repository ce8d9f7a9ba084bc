#include "Numbers.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <string>

namespace {

// Length of the longest prefix of text (from start) that looks like a number: sign, digits,
// one decimal point, digits, optional exponent.
qsizetype NumberPrefix(const QString& text, qsizetype start, QChar point, QChar group)
{
    qsizetype i = start;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    bool digits = false, seenPoint = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit()) {
            digits = true;
        } else if (c == point && !seenPoint) {
            seenPoint = true;
        } else if (!group.isNull() && c == group && !seenPoint && digits) {
            continue;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    // An exponent only counts when digits follow it.
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == u'-' || text[j] == u'+'))
            ++j;
        if (j < text.size() && text[j].isDigit()) {
            while (j < text.size() && text[j].isDigit())
                ++j;
            i = j;
        }
    }
    return i - start;
}

qsizetype SkipBlanks(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    return i;
}

// "inf" and "nan" are words, not numbers: like any other text that is no number they read as 0.
double Finite(double value) { return std::isfinite(value) ? value : 0; }

} // namespace

double Val(const QString& text)
{
    const qsizetype start = SkipBlanks(text);
    const qsizetype length = NumberPrefix(text, start, u'.', QChar());
    if (length == 0)
        return 0;
    bool ok = false;
    const double value = text.mid(start, length).toDouble(&ok);
    return ok ? value : 0; // false for a number too large for a double
}

double CDbl(const QString& text)
{
    const QLocale locale;
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = locale.toDouble(trimmed, &ok);
    if (ok)
        return Finite(value);
    // Where the minus sign carries a direction mark, QLocale cannot read its own negative numbers.
    const QString minus = locale.negativeSign();
    if (minus.size() > 1 && trimmed.startsWith(minus))
        return -CDbl(trimmed.mid(minus.size()));
    // Not a whole number: read its leading part, without the group separators.
    const QChar point = locale.decimalPoint().at(0);
    const QChar group = locale.groupSeparator().isEmpty() ? QChar() : locale.groupSeparator().at(0);
    const qsizetype length = NumberPrefix(trimmed, 0, point, group);
    if (length == 0)
        return 0;
    QString plain = trimmed.left(length);
    if (!group.isNull())
        plain.remove(group);
    plain.replace(point, u'.');
    value = plain.toDouble(&ok);
    return ok ? Finite(value) : 0;
}

QString Str(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return QString::number(value);
    if (value == 0)
        return QStringLiteral("0");
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString Format(double value, const QString& pattern)
{
    const QLocale locale;
    const qsizetype point = pattern.indexOf(u'.');
    const int decimals = point < 0 ? 0 : static_cast<int>(pattern.size() - point - 1);
    // A value that rounds to zero is written without a sign. Whether it does is read from its
    // plain form, rounded as the locale's is: some locales cannot read their own text back.
    const bool roundsToZero = QString::number(value, 'f', decimals).toDouble() == 0;
    QString text = locale.toString(roundsToZero ? 0.0 : value, 'f', decimals);
    if (!pattern.contains(u','))
        text.remove(locale.groupSeparator());
    return text;
}
