#include "RawSqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

QString TypeName(int type)
{
    switch (type) {
    case SQLITE_INTEGER: return QStringLiteral("integer");
    case SQLITE_FLOAT: return QStringLiteral("real");
    case SQLITE_TEXT: return QStringLiteral("text");
    case SQLITE_BLOB: return QStringLiteral("blob");
    default: return QStringLiteral("null");
    }
}

RawValue ValueOf(sqlite3_stmt* statement, int column)
{
    RawValue value;
    const int type = sqlite3_column_type(statement, column);
    value.type = TypeName(type);
    if (type == SQLITE_NULL)
        return value;
    const void* data = type == SQLITE_BLOB ? sqlite3_column_blob(statement, column)
                                           : static_cast<const void*>(sqlite3_column_text(statement, column));
    const int size = sqlite3_column_bytes(statement, column);
    value.bytes = QByteArray(static_cast<const char*>(data), size);
    return value;
}

std::function<void()> commitAction;

int RunCommitAction(void*)
{
    if (commitAction)
        commitAction();
    return 0; // the commit goes on
}

// SQLite calls this for every connection it opens (an automatic extension), so the hook reaches
// connections that the program opens itself.
int HookCommits(sqlite3* db, char**, const sqlite3_api_routines*)
{
    sqlite3_commit_hook(db, RunCommitAction, nullptr);
    return SQLITE_OK;
}

// The entry point as sqlite3_auto_extension takes it.
void (*const HookCommitsEntry)() = reinterpret_cast<void (*)()>(&HookCommits);

} // namespace

std::vector<RawRow> RawQuery(const QString& databasePath, const QString& sql)
{
    std::vector<RawRow> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << databasePath.toStdString() << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sql.toStdString() << ": " << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            RawRow row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column)
                row.push_back(ValueOf(statement, column));
            rows.push_back(std::move(row));
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

QStringList RawQueryTexts(const QString& databasePath, const QString& sql)
{
    QStringList rows;
    for (const RawRow& row : RawQuery(databasePath, sql)) {
        QStringList cells;
        for (const RawValue& value : row)
            cells << value.Text();
        rows << cells.join(u'|');
    }
    return rows;
}

CommitHook::CommitHook(std::function<void()> onCommit)
{
    commitAction = std::move(onCommit);
    sqlite3_auto_extension(HookCommitsEntry);
}

CommitHook::~CommitHook()
{
    sqlite3_cancel_auto_extension(HookCommitsEntry);
    commitAction = nullptr;
}
