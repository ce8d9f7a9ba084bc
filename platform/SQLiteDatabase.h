#pragma once

#include <QByteArray>
#include <QString>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "DateTime.h"
#include "FolderItem.h"

struct sqlite3;
struct sqlite3_stmt;

// Named column values for one insert. Setting a column that is already in the record replaces
// its value and keeps its place; columns keep the order in which they were first set.
class DatabaseRecord
{
public:
    struct Null {};
    using Value = std::variant<Null, QString, long long, bool, double, QByteArray>;

    void SetColumn(const QString& name, const QString& text);
    void SetIntegerColumn(const QString& name, long long value);
    void SetBooleanColumn(const QString& name, bool value);
    void SetDoubleColumn(const QString& name, double value);
    // A date is stored as its SQL date-time text; no date stores NULL.
    void SetDateColumn(const QString& name, const std::optional<Date>& value);
    void SetBlobColumn(const QString& name, const QByteArray& bytes);

    // The text form of a column's value, whatever setter set it: integers and Booleans as digits
    // ("1"/"0"), a double as its shortest plain form with "." (120, 7.5), a blob as its bytes read
    // as UTF-8, NULL and unknown columns as the empty text.
    QString Column(const QString& name) const;

    const std::vector<std::pair<QString, Value>>& Columns() const { return mColumns; }

private:
    void Set(const QString& name, Value value);
    std::vector<std::pair<QString, Value>> mColumns;
};

// An SQLite database file. Changes made after a commit run in one transaction that the next
// Commit ends; a database closed without Commit keeps none of them.
class SQLiteDatabase
{
public:
    SQLiteDatabase();
    ~SQLiteDatabase();
    SQLiteDatabase(const SQLiteDatabase&) = delete;
    SQLiteDatabase& operator=(const SQLiteDatabase&) = delete;

    void SetDatabaseFile(const FolderItem& file) { mFile = file; }
    const FolderItem& DatabaseFile() const { return mFile; }

    // Creates the file named by DatabaseFile and stays connected to it. Never opens or
    // overwrites an existing file (the create is exclusive): false, with ErrorMessage set.
    bool CreateDatabaseFile();
    // Connects to the file named by DatabaseFile; true at once when already connected to it.
    bool Connect();
    bool IsConnected() const { return mDb != nullptr; }
    // Closes without committing: uncommitted changes are dropped.
    void Close();

    void SQLExecute(const QString& statement);
    void InsertRecord(const QString& table, const DatabaseRecord& record);
    void Commit();
    // Drops every change since the last commit and releases the file for other programs.
    void Rollback();
    long long LastRowID() const;

    bool Error() const { return mError; }
    QString ErrorMessage() const { return mErrorMessage; }

    // The engine's largest string or blob, in bytes (SQLITE_LIMIT_LENGTH). Setting it lowers the
    // limit of this connection; tests use it to make an insert fail.
    long long LengthLimit() const;
    void SetLengthLimit(long long bytes);

private:
    struct StatementDeleter { void operator()(sqlite3_stmt* statement) const; };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

    bool OpenConnection(int flags);
    void BeginIfNeeded();
    // Clears the error, checks the connection and opens the transaction; false (Error set) when
    // no change can be made.
    bool Ready();
    void SetError(const QString& message);
    void ClearError();
    sqlite3_stmt* PreparedInsert(const QString& table, const DatabaseRecord& record);
    // Counts bytes stored and starts a sync of the file every WriteBackStep of them.
    void WroteBytes(long long bytes);

    FolderItem mFile;
    sqlite3* mDb = nullptr;
    QString mConnectedPath;
    std::optional<long long> mLengthLimit; // applied to every connection this object opens
    bool mError = false;
    QString mErrorMessage;
    // Prepared inserts keyed by their SQL text (one per table and column list), reused.
    std::map<QString, Statement> mInserts;
    // A read-only descriptor of our own on the connected file (-1 when none), open as long as the
    // connection is, used only to sync the file while a long transaction fills it.
    int mWriteBackFile = -1;
    long long mBytesSinceWriteBack = 0;
    std::future<void> mWriteBack; // the sync running, if any
};
