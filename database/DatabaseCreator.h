#pragma once

#include <QString>

struct ImportSession;

// Creates "<name>.vellumixdb" in session.DBPath with its five tables, its settings rows and its
// books, writes the import list into it (SubAddToDB) and reports the outcome in message boxes.
// name is the trimmed text of the name field. session.db is replaced by a new object on every
// call and left connected to the new file. The progress bar is hidden when it returns; no
// exception leaves it.
void SubDBCreateNew(ImportSession& session, const QString& name);

// Creates table Book and writes the five books named from session.Var_Book, then commits.
// Returns whether the Book table and its rows stand; a failure has been shown to the user.
bool SubDBCreateBook(ImportSession& session);

// The file name for a database name: the name itself when it holds ".vellumixdb" anywhere
// (letter case ignored), otherwise the name + ".vellumixdb".
QString DatabaseFileName(const QString& name);

// Why name cannot name a database file in the database folder, or the empty text when it can.
QString DatabaseNameProblem(const QString& name);
