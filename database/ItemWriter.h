#pragma once

#include <QString>

struct ImportSession;

// Writes every import row without an error mark into session.db: one Item row per row and one
// Scan row per page file, with the file's bytes and a JPEG preview. Drives the progress bar and
// the status line, yields to the event loop at least once per page and once per row (and while
// it waits for a preview, the disk or the commit), and commits once at the end. When anything
// failed it shows the last error text in one message box, commits nothing and returns false; it
// returns true when everything was committed.
bool SubAddToDB(ImportSession& session);

// Every carriage return, then every line feed, becomes one space.
QString SubCleanField(const QString& text);
