#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

// One line of the CSV import file split into its fields. A record is a text holding the fields in
// order, separated by CsvFieldSeparator, with the quoting already removed (values not yet
// trimmed: Field trims them).

// Reserved while a line is split: marks a doubled quote, so it is not taken for a quote.
inline constexpr QChar CsvDoubledQuote = QChar(1);
// Separates the fields of a record.
inline constexpr QChar CsvFieldSeparator = QChar(2);

// Splits one line. A field may be quoted ("7,5"); a doubled quote stands for one quote, anywhere
// in the line; every other quote is dropped. A quoted field opens only when the quote is the
// first character after the comma, and closes with the first piece that ends with a quote; a
// quote never closed takes in the rest of the line. A line with fewer than ten comma-separated
// pieces is not usable: no record. Yields to the event loop once per piece.
std::optional<QString> SplitCsvLine(const QString& line);
// The same without turning the event loop, for a worker thread: adds the turns SplitCsvLine
// takes to yields.
std::optional<QString> SplitCsvLine(const QString& line, qsizetype& yields);

// Field n (from 1) of a record without leading and trailing blanks; empty beyond the last.
QString Field(const QString& record, long long n);

// The fields of one record, split once, so that reading them all does not scan the record again
// for each. The record must outlive this.
class CsvFields
{
public:
    explicit CsvFields(const QString& record);
    // Field(record, n).
    QString operator()(long long n) const;

private:
    QList<QStringView> mPieces;
};
