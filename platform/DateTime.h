#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// A local date and time. A new Date holds the current local date and time.
class Date
{
public:
    Date();
    Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

    int Year() const { return mDate.year(); }
    int Month() const { return mDate.month(); }
    int Day() const { return mDate.day(); }
    int Hour() const { return mTime.hour(); }
    int Minute() const { return mTime.minute(); }
    int Second() const { return mTime.second(); }

    // Setting a month beyond 12 or below 1 carries into the years. A day that the new month
    // does not have settles on that month's last day (31 January + 1 month = 28/29 February).
    void SetMonth(long long month);

    // "2015-11-20".
    QString SQLDate() const;
    // Sets the date from "year-month-day"; the time is kept. Returns false (and changes nothing)
    // for a text that is not such a date.
    bool SetSQLDate(const QString& text);
    // "2015-11-20 14:03:09".
    QString SQLDateTime() const;
    // The user's short date form, always with a four-digit year.
    QString ShortDate() const;
    // Seconds since 1904-01-01 00:00:00, counted in local wall-clock time.
    long long TotalSeconds() const;

    QDate ToQDate() const { return mDate; }
    bool operator==(const Date& other) const = default;

private:
    QDate mDate;
    QTime mTime;
};

// Reports whether text is a date and, if so, stores it in date (time 00:00:00). Accepts the SQL
// form year-month-day (time after it allowed) and the user's short and long date forms. Impossible
// dates such as 2015-02-30 are refused.
bool ParseDate(const QString& text, Date& date);

// The short date format of the user's locale with a four-digit year.
QString ShortDateFormat();
