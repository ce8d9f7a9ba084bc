#pragma once

#include <memory>

#include "BookTable.h"
#include "FolderItem.h"
#include "ImportList.h"
#include "MainControls.h"
#include "SQLiteDatabase.h"

// The state that the main window owns and the work shares: the database folder, the book names,
// the database being created and the import list. The window holds one; tests make their own.
struct ImportSession
{
    explicit ImportSession(MainControls& controls) : controls(controls) {}

    MainControls& controls;
    FolderItem DBPath;               // empty when the database folder does not exist
    BookTable Var_Book = BookTable::WithDefaults();
    std::unique_ptr<SQLiteDatabase> db;
    ImportList ListData;
};
