#include "Text.h"

bool SameText(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool StartsWithText(const QString& text, const QString& prefix)
{
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

bool EndsWithText(const QString& text, const QString& suffix)
{
    return text.endsWith(suffix, Qt::CaseInsensitive);
}

int InStr(const QString& source, const QString& find)
{
    if (find.isEmpty())
        return 0;
    return static_cast<int>(source.indexOf(find, 0, Qt::CaseInsensitive)) + 1;
}

int CountFields(const QString& text, const QString& separator)
{
    if (separator.isEmpty())
        return 1;
    return static_cast<int>(text.count(separator)) + 1;
}

QString NthField(const QString& text, const QString& separator, int n)
{
    if (n < 1)
        return {};
    if (separator.isEmpty())
        return n == 1 ? text : QString();
    qsizetype start = 0;
    for (int piece = 1; piece < n; ++piece) {
        const qsizetype next = text.indexOf(separator, start);
        if (next < 0)
            return {};
        start = next + separator.size();
    }
    const qsizetype end = text.indexOf(separator, start);
    return end < 0 ? text.mid(start) : text.mid(start, end - start);
}

QString ReplaceAll(const QString& text, const QString& find, const QString& replacement)
{
    if (find.isEmpty())
        return text;
    QString result = text;
    return result.replace(find, replacement);
}

QByteArray ReplaceAllB(const QByteArray& bytes, const QByteArray& find, const QByteArray& replacement)
{
    if (find.isEmpty())
        return bytes;
    QByteArray result = bytes;
    return result.replace(find, replacement);
}

QString Left(const QString& text, int count)
{
    return count <= 0 ? QString() : text.left(count);
}

QString Right(const QString& text, int count)
{
    return count <= 0 ? QString() : text.right(count);
}

int Len(const QString& text) { return static_cast<int>(text.size()); }

QString Trim(const QString& text) { return text.trimmed(); }

QString Lowercase(const QString& text) { return text.toLower(); }

QString Uppercase(const QString& text) { return text.toUpper(); }

QString Chr(int code) { return QString(QChar(static_cast<char16_t>(code))); }
