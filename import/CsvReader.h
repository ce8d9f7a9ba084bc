#pragma once

#include <QString>

#include "ImportSession.h"

// The CSV reader: asks for a CSV file and fills the import list with one row per line whose
// document kind is known. Lines with missing or unreadable data still give a row, carrying
// "Error" texts and the error mark so that it is shown red and not imported; a page file counts as
// found only when it is a regular file that may be read. A file that cannot be read (a FIFO or a
// device included) is reported in one message; the rows read up to then stay. Nothing is thrown.
// The lines are split and their page files looked up ahead on worker threads; the rows are added
// in order on the calling thread, which keeps the window turning.
void SubCreateFromCSV(ImportSession& session);

// The date's short text, or "Error" when s is not a date.
QString SubDate(const QString& s);
// The date as SQL date text (2015-11-20), or the empty text when s is not a date.
QString SubDateSQL(const QString& s);
// True for "yes", "1" and "true", letter case ignored.
bool SubWarranty(const QString& s);
