#include "TreeReader.h"

#include "BookCodePrefix.h"
#include "Exceptions.h"
#include "Numbers.h"
#include "Text.h"
#include "UIServices.h"

namespace {

// The book code of a book folder. Every name that names no book, a one-character name included,
// files the folder's pages as documents.
QString BookCodeOfFolder(const QString& name)
{
    const QString code = BookCodeOfPrefix(name);
    return code.isEmpty() ? BookCode::Documents : code;
}

// A page file name: not hidden, ending in one of the four page endings (letter case ignored).
bool IsPageName(const QString& name)
{
    if (Left(name, 1) == QLatin1String("."))
        return false;
    const QString ending = Right(name, 4);
    return SameText(ending, QStringLiteral(".pdf")) || SameText(ending, QStringLiteral(".jpg"))
        || SameText(ending, QStringLiteral(".png")) || SameText(ending, QStringLiteral(".tif"));
}

// One walk of the tree: the current book code, category and supplier, set when their folder is
// entered and used for every row below it.
class TreeWalk
{
public:
    explicit TreeWalk(ImportSession& session) : mSession(session) {}

    void WalkRoot(const FolderItem& root)
    {
        ForEachEntry(root, [this](const FolderItem& entry) {
            if (!IsWalkableFolder(entry))
                return;
            mBookCode = BookCodeOfFolder(entry.Name());
            // Var_Book does not change during the walk: look the book up once per book folder.
            mBookKnown = mSession.Var_Book.HasKey(mBookCode);
            mBookName = mSession.Var_Book.Value(mBookCode);
            WalkBook(entry);
        });
    }

private:
    void WalkBook(const FolderItem& book)
    {
        ForEachEntry(book, [this](const FolderItem& entry) {
            if (!IsWalkableFolder(entry))
                return;
            mCategory = entry.Name();
            WalkCategory(entry);
        });
    }

    void WalkCategory(const FolderItem& category)
    {
        ForEachEntry(category, [this](const FolderItem& entry) {
            if (!IsWalkableFolder(entry))
                return;
            mSupplier = entry.Name();
            WalkSupplier(entry);
        });
    }

    void WalkSupplier(const FolderItem& supplier)
    {
        ForEachEntry(supplier, [this](const FolderItem& entry) {
            if (!mBookKnown)
                return;
            const QString name = entry.Name();
            if (!IsPageName(name))
                return;
            // Only a regular file (or a link to one) can be read as a page: a folder or a
            // dangling link would reach the writer as a page that cannot be loaded.
            if (!entry.IsRegularFile())
                return;
            // The writer splits paths and names at ";": such a file cannot become one page.
            // (The path holds the name.)
            if (entry.AbsolutePath().contains(QLatin1Char(';')))
                return;
            AddPageRow(entry, name);
        });
    }

    void AddPageRow(const FolderItem& file, const QString& name)
    {
        ImportList& list = mSession.ListData;
        const Date modified = file.ModificationDate();
        list.AddRow(mBookName);
        const int row = list.LastIndex();
        list.SetCell(row, 1, mCategory);
        list.SetCell(row, 2, mSupplier);
        list.SetCell(row, 3, Left(name, Len(name) - 4));
        list.SetCell(row, 4, modified.ShortDate());
        list.SetCell(row, 5, mZeroAmount);
        list.SetCell(row, 10, file.AbsolutePath());
        list.SetCell(row, 11, modified.SQLDate());
        list.SetCell(row, 12, mBookCode);
        list.SetCell(row, 13, name);
        list.SetCell(row, 14, file.Type());
    }

    // Folders at levels 1 to 3. A linked folder is not walked: a link to a parent folder would
    // make the walk endless, and a link elsewhere would import pages from outside the tree.
    static bool IsWalkableFolder(const FolderItem& entry)
    {
        return entry.Directory() && !entry.IsSymbolicLink();
    }

    // Runs visit on entries 1 to Count of folder, reading Count again before every pass and
    // yielding once after every pass. An entry that cannot be read, or a folder below it that
    // cannot be listed, is reported and left out; the walk goes on with the next entry.
    template <typename Visit>
    void ForEachEntry(const FolderItem& folder, Visit visit)
    {
        for (int index = 1; index <= folder.Count(); ++index) {
            try {
                visit(folder.Item(index));
            } catch (const RuntimeException& error) {
                MsgBox(error.Message()); // the platform's message names the folder and the reason
            }
            YieldToEventLoop();
        }
    }

    ImportSession& mSession;
    QString mBookCode;
    bool mBookKnown = false;
    QString mBookName;
    QString mCategory;
    QString mSupplier;
    const QString mZeroAmount = Format(0, AmountPattern); // the same for every row
};

} // namespace

void SubCreateFromTree(ImportSession& session)
{
    session.controls.SetStatusText(QString());
    session.ListData.DeleteAllRows();

    const FolderItem root = UI().SelectFolder(QString());
    if (!root || !root.Directory())
        return;
    // Every page path below this folder would hold its ";" and be skipped: say why the list
    // stays empty instead of showing an empty list without a word.
    if (root.AbsolutePath().contains(QLatin1Char(';'))) {
        MsgBox(QStringLiteral("The path of the folder \"%1\" holds \";\", which page lists cannot hold, "
                              "so no file below it can be imported.")
                   .arg(root.AbsolutePath()));
        return;
    }
    try {
        TreeWalk(session).WalkRoot(root);
    } catch (const RuntimeException& error) {
        MsgBox(error.Message()); // the root itself cannot be listed
    }
}
