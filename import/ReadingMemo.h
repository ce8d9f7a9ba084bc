#pragma once

#include <QHash>
#include <QString>

// Remembers what make gave for each key during one reading run, so that a repeated key costs one
// look-up and the rows share one copy of the result: a long list repeats its categories, dates,
// amounts and page types over and over.
template <typename Key, typename Value>
class ReadingMemo
{
public:
    template <typename Make>
    Value Get(const Key& key, Make make)
    {
        auto found = mValues.constFind(key);
        if (found == mValues.constEnd())
            found = mValues.insert(key, make());
        return *found;
    }

private:
    QHash<Key, Value> mValues;
};

// The two cells of a date in a row: column 4 (the short date) and column 11 (the SQL date).
struct DateCells
{
    QString shortDate;
    QString sqlDate;
};

// The type names of page files (FolderItem::Type), asked of the file-type registry once per
// extension and run.
class PageTypeNames
{
public:
    QString Of(const QString& name);

private:
    ReadingMemo<QString, QString> mByExtension;
};
