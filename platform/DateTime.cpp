#include "DateTime.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

Date::Date()
{
    const QDateTime now = QDateTime::currentDateTime();
    mDate = now.date();
    mTime = QTime(now.time().hour(), now.time().minute(), now.time().second());
}

Date::Date(int year, int month, int day, int hour, int minute, int second)
    : mDate(year, month, day), mTime(hour, minute, second)
{
}

void Date::SetMonth(long long month)
{
    // Months counted from year 0 make the carry a plain floor division, also below 1.
    const long long total = static_cast<long long>(mDate.year()) * 12 + (month - 1);
    const long long year = total >= 0 ? total / 12 : -((-total + 11) / 12);
    const int newMonth = static_cast<int>(total - year * 12) + 1;
    const int lastDay = QDate(static_cast<int>(year), newMonth, 1).daysInMonth();
    mDate = QDate(static_cast<int>(year), newMonth, std::min(mDate.day(), lastDay));
}

QString Date::SQLDate() const
{
    return QStringLiteral("%1-%2-%3")
        .arg(mDate.year(), 4, 10, QLatin1Char('0'))
        .arg(mDate.month(), 2, 10, QLatin1Char('0'))
        .arg(mDate.day(), 2, 10, QLatin1Char('0'));
}

bool Date::SetSQLDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,4})-(\\d{1,2})-(\\d{1,2})(?:[ T].*)?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return false;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!date.isValid())
        return false;
    mDate = date;
    return true;
}

QString Date::SQLDateTime() const
{
    return SQLDate() + u' ' + mTime.toString(QStringLiteral("HH:mm:ss"));
}

QString Date::ShortDate() const
{
    return QLocale().toString(mDate, ShortDateFormat());
}

long long Date::TotalSeconds() const
{
    return QDate(1904, 1, 1).daysTo(mDate) * 86400LL + mTime.msecsSinceStartOfDay() / 1000;
}

QString ShortDateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    // Two-digit years cannot be read back unambiguously; always show four.
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

namespace {

bool TryFormat(const QString& text, const QString& format, QDate& result)
{
    const QDate date = QLocale().toDate(text, format);
    if (!date.isValid())
        return false;
    result = date;
    return true;
}

} // namespace

bool ParseDate(const QString& text, Date& date)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    Date parsed(2000, 1, 1);
    if (parsed.SetSQLDate(trimmed)) {
        date = parsed;
        return true;
    }
    const QLocale locale;
    QDate found;
    if (TryFormat(trimmed, ShortDateFormat(), found)
        || TryFormat(trimmed, locale.dateFormat(QLocale::LongFormat), found)) {
        date = Date(found.year(), found.month(), found.day());
        return true;
    }
    const QString twoDigitFormat = locale.dateFormat(QLocale::ShortFormat);
    if (TryFormat(trimmed, twoDigitFormat, found)) {
        // A two-digit year means this century, unless that lies more than 20 years ahead.
        int year = found.year();
        if (!twoDigitFormat.contains(QStringLiteral("yyyy"))) {
            year = 2000 + year % 100;
            if (year > QDate::currentDate().year() + 20)
                year -= 100;
        }
        const QDate adjusted(year, found.month(), found.day());
        if (!adjusted.isValid())
            return false;
        date = Date(year, found.month(), found.day());
        return true;
    }
    return false;
}
