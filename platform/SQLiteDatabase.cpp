#include "SQLiteDatabase.h"

#include <QFile>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "Numbers.h"

// ---- DatabaseRecord ----

namespace {

// SQLite compares column names without regard to ASCII letter case, so the record does too:
// setting "name" after "Name" replaces the value instead of naming the column twice.
bool SameColumn(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct TextForm
{
    QString operator()(DatabaseRecord::Null) const { return {}; }
    QString operator()(const QString& text) const { return text; }
    QString operator()(long long value) const { return QString::number(value); }
    QString operator()(bool value) const { return value ? QStringLiteral("1") : QStringLiteral("0"); }
    QString operator()(double value) const { return Str(value); }
    QString operator()(const QByteArray& bytes) const { return QString::fromUtf8(bytes); }
};

} // namespace

void DatabaseRecord::SetColumn(const QString& name, const QString& text) { Set(name, text); }
void DatabaseRecord::SetIntegerColumn(const QString& name, long long value) { Set(name, value); }
void DatabaseRecord::SetBooleanColumn(const QString& name, bool value) { Set(name, value); }
void DatabaseRecord::SetDoubleColumn(const QString& name, double value) { Set(name, value); }
void DatabaseRecord::SetBlobColumn(const QString& name, const QByteArray& bytes) { Set(name, bytes); }

void DatabaseRecord::SetDateColumn(const QString& name, const std::optional<Date>& value)
{
    if (value)
        Set(name, value->SQLDateTime());
    else
        Set(name, Null{});
}

QString DatabaseRecord::Column(const QString& name) const
{
    for (const auto& [column, value] : mColumns)
        if (SameColumn(column, name))
            return std::visit(TextForm{}, value);
    return {};
}

void DatabaseRecord::Set(const QString& name, Value value)
{
    for (auto& [column, old] : mColumns)
        if (SameColumn(column, name)) {
            old = std::move(value);
            return;
        }
    mColumns.emplace_back(name, std::move(value));
}

// ---- SQLiteDatabase ----

namespace {

// SQLite's default largest string or blob (its SQLITE_MAX_LENGTH), which sqlite3.h does not export.
constexpr long long DefaultLengthLimit = 1000000000;

// A transaction that stores large values leaves them in the system's cache until the commit syncs
// the file, which then waits for all of them at once. Every so many bytes stored, a sync of the
// file is started on another thread, so the writing overlaps the rest of the transaction and the
// commit has little left to wait for. What is durable when stays as before: the commit still
// syncs, and a transaction cut short is still rolled back from its journal.
constexpr long long WriteBackStep = 32 * 1024 * 1024;

QString EngineMessage(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// "name" with embedded double quotes doubled: safe for any table or column name.
QString QuotedIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString InsertStatement(const QString& table, const DatabaseRecord& record)
{
    const auto& columns = record.Columns();
    if (columns.empty())
        return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(QuotedIdentifier(table));
    QStringList names;
    QStringList places;
    for (const auto& column : columns) {
        names << QuotedIdentifier(column.first);
        places << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(QuotedIdentifier(table), names.join(QLatin1String(", ")), places.join(QLatin1String(", ")));
}

// Binds one value; the record outlives the step, so blobs are bound without a copy.
int BindValue(sqlite3_stmt* statement, int index, const DatabaseRecord::Value& value)
{
    if (std::holds_alternative<DatabaseRecord::Null>(value))
        return sqlite3_bind_null(statement, index);
    if (const auto* text = std::get_if<QString>(&value)) {
        const QByteArray utf8 = text->toUtf8();
        return sqlite3_bind_text64(statement, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                                   SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    if (const auto* integer = std::get_if<long long>(&value))
        return sqlite3_bind_int64(statement, index, *integer);
    if (const auto* boolean = std::get_if<bool>(&value))
        return sqlite3_bind_int(statement, index, *boolean ? 1 : 0);
    if (const auto* number = std::get_if<double>(&value))
        return sqlite3_bind_double(statement, index, *number);
    const auto& bytes = std::get<QByteArray>(value);
    // constData() is never null, so an empty blob is stored as X'' rather than NULL.
    return sqlite3_bind_blob64(statement, index, bytes.constData(), sqlite3_uint64(bytes.size()),
                               SQLITE_STATIC);
}

qsizetype ValueSize(const DatabaseRecord::Value& value)
{
    if (const auto* text = std::get_if<QString>(&value))
        return text->toUtf8().size();
    if (const auto* bytes = std::get_if<QByteArray>(&value))
        return bytes->size();
    return 0;
}

// Resets a statement when the insert is done, so it can be reused and lets go of the bound data.
class StatementReset
{
public:
    explicit StatementReset(sqlite3_stmt* statement) : mStatement(statement) {}
    ~StatementReset()
    {
        sqlite3_reset(mStatement);
        sqlite3_clear_bindings(mStatement);
    }
    StatementReset(const StatementReset&) = delete;
    StatementReset& operator=(const StatementReset&) = delete;

private:
    sqlite3_stmt* mStatement;
};

} // namespace

void SQLiteDatabase::StatementDeleter::operator()(sqlite3_stmt* statement) const
{
    sqlite3_finalize(statement);
}

SQLiteDatabase::SQLiteDatabase() = default;

SQLiteDatabase::~SQLiteDatabase()
{
    Close();
}

bool SQLiteDatabase::CreateDatabaseFile()
{
    ClearError();
    Close();
    if (mFile.IsNull()) {
        SetError(QStringLiteral("No database file is named."));
        return false;
    }
    const QString path = mFile.AbsolutePath();
    const FolderItem folder = mFile.Parent();
    if (folder.IsNull() || !folder.Directory()) {
        SetError(QStringLiteral("The folder of the database file \"%1\" does not exist.").arg(path));
        return false;
    }
    // Claim the name first: O_EXCL fails when anything (a file, a folder, a link) already has it,
    // so an existing file is never opened, let alone changed.
    const QByteArray nativePath = QFile::encodeName(path);
    const int descriptor = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        const int reason = errno;
        if (reason == EEXIST)
            SetError(QStringLiteral("The file \"%1\" already exists.").arg(path));
        else
            SetError(QStringLiteral("The file \"%1\" cannot be created: %2.")
                         .arg(path, QString::fromLocal8Bit(std::strerror(reason))));
        return false;
    }
    ::close(descriptor);
    // The empty file that we just made is a valid, empty SQLite database.
    if (!OpenConnection(SQLITE_OPEN_READWRITE)) {
        ::unlink(nativePath.constData());
        return false;
    }
    return true;
}

bool SQLiteDatabase::Connect()
{
    ClearError();
    if (mDb && mConnectedPath == mFile.AbsolutePath())
        return true;
    Close();
    if (mFile.IsNull()) {
        SetError(QStringLiteral("No database file is named."));
        return false;
    }
    // Never create a file here: only CreateDatabaseFile makes new ones.
    if (!OpenConnection(SQLITE_OPEN_READWRITE))
        return false;
    // Opening is lazy; reading the schema tells at once whether the file is a database.
    if (sqlite3_exec(mDb, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        SetError(QStringLiteral("%1 (\"%2\")").arg(EngineMessage(mDb), mFile.AbsolutePath()));
        Close();
        return false;
    }
    return true;
}

bool SQLiteDatabase::OpenConnection(int flags)
{
    // SQLite hands the name to the system unchanged, so it gets the file system's encoding.
    const QByteArray path = QFile::encodeName(mFile.AbsolutePath());
    sqlite3* db = nullptr;
    const int result = sqlite3_open_v2(path.constData(), &db, flags, nullptr);
    if (result != SQLITE_OK) {
        SetError(QStringLiteral("%1 (\"%2\")").arg(db ? EngineMessage(db) : QString::fromUtf8(sqlite3_errstr(result)),
                                               mFile.AbsolutePath()));
        sqlite3_close_v2(db);
        return false;
    }
    mDb = db;
    mConnectedPath = mFile.AbsolutePath();
    // Without it the file is simply synced at the commit alone.
    mWriteBackFile = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    mBytesSinceWriteBack = 0;
    if (mLengthLimit)
        sqlite3_limit(mDb, SQLITE_LIMIT_LENGTH, int(*mLengthLimit));
    return true;
}

void SQLiteDatabase::Close()
{
    if (!mDb)
        return;
    mInserts.clear(); // statements must be finalized before the connection closes
    if (!sqlite3_get_autocommit(mDb))
        sqlite3_exec(mDb, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(mDb);
    mDb = nullptr;
    if (mWriteBack.valid())
        mWriteBack.wait();
    // Closing any descriptor of a file drops the process's POSIX locks on it (SQLite's locks), so
    // ours closes only after the connection.
    if (mWriteBackFile >= 0)
        ::close(mWriteBackFile);
    mWriteBackFile = -1;
    mConnectedPath.clear();
}

// Every change runs inside the transaction that the next Commit ends. Asking the engine rather
// than keeping a flag also covers a transaction that the engine rolled back by itself.
void SQLiteDatabase::BeginIfNeeded()
{
    if (sqlite3_get_autocommit(mDb) && sqlite3_exec(mDb, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        SetError(EngineMessage(mDb));
}

bool SQLiteDatabase::Ready()
{
    ClearError();
    if (!mDb) {
        SetError(QStringLiteral("The database is not connected."));
        return false;
    }
    BeginIfNeeded();
    return !mError;
}

void SQLiteDatabase::SQLExecute(const QString& statement)
{
    if (!Ready())
        return;
    const QByteArray sql = statement.toUtf8();
    char* message = nullptr;
    if (sqlite3_exec(mDb, sql.constData(), nullptr, nullptr, &message) != SQLITE_OK)
        SetError(message ? QString::fromUtf8(message) : EngineMessage(mDb));
    sqlite3_free(message);
}

void SQLiteDatabase::InsertRecord(const QString& table, const DatabaseRecord& record)
{
    if (!Ready())
        return;
    sqlite3_stmt* statement = PreparedInsert(table, record);
    if (!statement)
        return;
    StatementReset reset(statement);
    int index = 1;
    for (const auto& [name, value] : record.Columns()) {
        const int result = BindValue(statement, index++, value);
        if (result == SQLITE_TOOBIG) {
            SetError(QStringLiteral("%1: the value of column %2 has %3 bytes, the database takes at most %4.")
                         .arg(QString::fromUtf8(sqlite3_errstr(result)), name)
                         .arg(ValueSize(value))
                         .arg(LengthLimit()));
            return;
        }
        if (result != SQLITE_OK) {
            SetError(EngineMessage(mDb));
            return;
        }
    }
    const int result = sqlite3_step(statement);
    if (result == SQLITE_TOOBIG)
        SetError(QStringLiteral("%1: the row for table %2 is larger than the %3 bytes the database takes.")
                     .arg(EngineMessage(mDb), table)
                     .arg(LengthLimit()));
    else if (result != SQLITE_DONE)
        SetError(EngineMessage(mDb));
    else
        for (const auto& column : record.Columns())
            WroteBytes(ValueSize(column.second));
}

void SQLiteDatabase::WroteBytes(long long bytes)
{
    mBytesSinceWriteBack += bytes;
    if (mBytesSinceWriteBack < WriteBackStep || mWriteBackFile < 0)
        return;
    mBytesSinceWriteBack = 0;
    // One sync at a time; a step that finds one still running leaves the bytes to the next.
    if (mWriteBack.valid() && mWriteBack.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    mWriteBack = std::async(std::launch::async, [file = mWriteBackFile] { ::fdatasync(file); });
}

sqlite3_stmt* SQLiteDatabase::PreparedInsert(const QString& table, const DatabaseRecord& record)
{
    // The statement text names the table and the columns in order, so it is the cache key.
    const QString sql = InsertStatement(table, record);
    auto found = mInserts.find(sql);
    if (found != mInserts.end())
        return found->second.get();
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v3(mDb, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &prepared, nullptr)
        != SQLITE_OK) {
        SetError(EngineMessage(mDb));
        sqlite3_finalize(prepared);
        return nullptr;
    }
    return mInserts.emplace(sql, Statement(prepared)).first->second.get();
}

void SQLiteDatabase::Commit()
{
    ClearError();
    if (!mDb) {
        SetError(QStringLiteral("The database is not connected."));
        return;
    }
    if (!sqlite3_get_autocommit(mDb) && sqlite3_exec(mDb, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        SetError(EngineMessage(mDb));
}

void SQLiteDatabase::Rollback()
{
    ClearError();
    if (mDb && !sqlite3_get_autocommit(mDb) && sqlite3_exec(mDb, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK)
        SetError(EngineMessage(mDb));
}

long long SQLiteDatabase::LastRowID() const
{
    return mDb ? sqlite3_last_insert_rowid(mDb) : 0;
}

long long SQLiteDatabase::LengthLimit() const
{
    if (mDb)
        return sqlite3_limit(mDb, SQLITE_LIMIT_LENGTH, -1);
    return mLengthLimit ? *mLengthLimit : DefaultLengthLimit;
}

void SQLiteDatabase::SetLengthLimit(long long bytes)
{
    mLengthLimit = std::clamp<long long>(bytes, 0, DefaultLengthLimit);
    if (mDb)
        sqlite3_limit(mDb, SQLITE_LIMIT_LENGTH, int(*mLengthLimit));
}

void SQLiteDatabase::SetError(const QString& message)
{
    mError = true;
    mErrorMessage = message;
}

void SQLiteDatabase::ClearError()
{
    mError = false;
    mErrorMessage.clear();
}
