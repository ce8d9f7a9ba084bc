#include "CsvRecord.h"

#include <QStringList>

#include "Text.h"
#include "UIServices.h"

namespace {

constexpr int MinimumPieces = 10;
const QChar Quote = QLatin1Char('"');

} // namespace

std::optional<QString> SplitCsvLine(const QString& line)
{
    qsizetype pieces = 0;
    std::optional<QString> record = SplitCsvLine(line, pieces);
    for (qsizetype i = 0; i < pieces; ++i)
        YieldToEventLoop();
    return record;
}

std::optional<QString> SplitCsvLine(const QString& line, qsizetype& yields)
{
    const QString marked = ReplaceAll(line, QStringLiteral("\"\""), QString(CsvDoubledQuote));
    // Split once rather than piece by piece: the pieces never change while the line is joined,
    // and a long line would otherwise cost time quadratic in its length. The pieces are views
    // into the marked line: no text is copied per piece.
    const QList<QStringView> pieces = QStringView(marked).split(QLatin1Char(','));
    if (pieces.size() < MinimumPieces)
        return std::nullopt;

    QString record;
    record.reserve(marked.size());
    bool quoted = false;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QStringView piece = pieces[i];
        if (quoted)
            record += QLatin1Char(','); // the comma that split the quoted value
        else if (piece.startsWith(Quote))
            quoted = true;
        if (quoted && piece.endsWith(Quote))
            quoted = false; // a lone quote opens and closes at once
        record += piece;
        if (!quoted && i + 1 < pieces.size())
            record += CsvFieldSeparator;
    }
    yields += pieces.size();
    record.remove(Quote);
    record.replace(CsvDoubledQuote, Quote);
    return record;
}

QString Field(const QString& record, long long n) { return CsvFields(record)(n); }

CsvFields::CsvFields(const QString& record) : mPieces(QStringView(record).split(CsvFieldSeparator)) {}

QString CsvFields::operator()(long long n) const
{
    if (n < 1 || n > mPieces.size())
        return {};
    return mPieces[static_cast<qsizetype>(n - 1)].trimmed().toString();
}
