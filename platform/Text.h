#pragma once

#include <QByteArray>
#include <QString>

// Text helpers with the program's rules: comparisons ignore letter case, field functions count
// empty pieces, Left/Right/Len count characters (UTF-16 code units of QString).

// Equality that ignores letter case: the program's "=" on texts.
bool SameText(const QString& a, const QString& b);
bool StartsWithText(const QString& text, const QString& prefix);
bool EndsWithText(const QString& text, const QString& suffix);
// Position (from 1) of the first occurrence of find in source, letter case ignored; 0 when absent.
int InStr(const QString& source, const QString& find);

// Number of pieces of text split at separator, empty pieces included ("" has one piece).
int CountFields(const QString& text, const QString& separator);
// The n-th piece (from 1); the empty text beyond the last or for n < 1.
QString NthField(const QString& text, const QString& separator, int n);

// Replaces every occurrence, left to right, in one pass; inserted text is not examined again.
QString ReplaceAll(const QString& text, const QString& find, const QString& replacement);
QByteArray ReplaceAllB(const QByteArray& bytes, const QByteArray& find, const QByteArray& replacement);

QString Left(const QString& text, int count);
QString Right(const QString& text, int count);
int Len(const QString& text);
// Removes leading and trailing blanks (spaces and other white space).
QString Trim(const QString& text);
QString Lowercase(const QString& text);
QString Uppercase(const QString& text);
QString Chr(int code);

// The platform line ending used inside message texts.
inline const QString EndOfLine = QStringLiteral("\n");
