#pragma once

#include "ImportSession.h"

// The folder-tree reader: asks for a root folder and fills the import list with one row per page
// file of the tree root / book / category / supplier / page file. Clears the status line and
// empties the list before the folder chooser opens, so a cancel leaves both empty.
//
// What it skips, without a word: files at the first three levels, level-4 entries whose name is
// not a page name (".pdf", ".jpg", ".png", ".tif", not hidden), level-4 entries that are not
// regular files (folders, dangling links), folders reached through a symbolic link (a link back
// to a parent would otherwise be walked forever), and page files whose name or path holds ";"
// (the writer splits the path and name cells at ";", so such a file cannot become one page).
// A folder that cannot be listed is named in one message box; the walk goes on without it and
// keeps every row found. A chosen folder whose own path holds ";" is named in one message box
// and gives an empty list, as none of its files could be taken.
void SubCreateFromTree(ImportSession& session);
