#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Reads a database file through the raw SQLite C API, independent of the program's database
// class, so tests see what another application opening the file would see.

// One stored value: its storage class as typeof() names it ("integer", "real", "text", "blob",
// "null") and its bytes (text as UTF-8, numbers in SQLite's text form).
struct RawValue
{
    QString type;
    QByteArray bytes;
    QString Text() const { return QString::fromUtf8(bytes); }
};

using RawRow = std::vector<RawValue>;

// Every row of the query's result, opening the file read-only. A file or query that fails adds
// a test failure and gives no rows.
std::vector<RawRow> RawQuery(const QString& databasePath, const QString& sql);

// The same rows, each as the texts of its values joined by "|" (NULL as the empty text).
QStringList RawQueryTexts(const QString& databasePath, const QString& sql);

// Calls onCommit on every commit of the SQLite connections opened while it lives, the program's
// own included, on the committing thread before the commit is written: a test can make the
// program's commit slow and see what goes on meanwhile. Close those connections before it ends.
class CommitHook
{
public:
    explicit CommitHook(std::function<void()> onCommit);
    ~CommitHook();
    CommitHook(const CommitHook&) = delete;
    CommitHook& operator=(const CommitHook&) = delete;
};
