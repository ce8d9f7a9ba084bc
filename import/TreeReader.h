#pragma once

#include "ImportSession.h"

// The folder-tree reader: asks for a root folder and fills the import list with one row per page
// file of the tree root / book / category / supplier / page file. Clears the status line and
// empties the list before the folder chooser opens, so a cancel leaves both empty.
//
// Every level-4 entry whose name is a page name (".pdf", ".jpg", ".png", ".tif", not hidden) gives
// its row. The row is in error (red, not imported) when the writer could not load the entry as one
// page: not a regular file that may be read (a folder, a FIFO, a dangling link: its date then reads
// "Error"), a name or path that is not UTF-8 (shown with U+FFFD), or a name holding ";" (the writer
// splits the path and name cells at ";").
// What it skips without a word: files at the first three levels, level-4 entries whose name is not
// a page name, and folders reached through a symbolic link (a link back to a parent would otherwise
// be walked forever).
// Folders that cannot be listed, and book, category and supplier folders whose name holds ";", are
// left out and told in one message at the end (their count and the first of them); the walk goes on
// and keeps every row found. A chosen folder whose own path holds ";" is named in one message box
// and gives an empty list, as none of its files could be taken.
// The supplier folders of one category are listed and their page files looked at on worker
// threads; the rows are added in order on the calling thread, which keeps the window turning.
void SubCreateFromTree(ImportSession& session);
