#include "TreeReader.h"

#include <array>
#include <optional>
#include <vector>

#include "BookCodePrefix.h"
#include "Exceptions.h"
#include "Numbers.h"
#include "ReadingMemo.h"
#include "OpenFolder.h"
#include "Text.h"
#include "UIServices.h"
#include "WorkAhead.h"

namespace {

const QString ErrorText = QStringLiteral("Error");
const QString ErrorMark = QStringLiteral("X");

// The book code of a book folder. Every name that names no book, a one-character name included,
// files the folder's pages as documents.
QString BookCodeOfFolder(const QString& name)
{
    const QString code = BookCodeOfPrefix(name);
    return code.isEmpty() ? BookCode::Documents : code;
}

// The four page endings, compared in this order, letter case ignored.
constexpr std::array<QLatin1StringView, 4> PageEndings = {
    QLatin1StringView(".pdf"), QLatin1StringView(".jpg"), QLatin1StringView(".png"), QLatin1StringView(".tif")};

// Which page ending a page file name has: not hidden, ending in one of the four; -1 for a name
// that is no page name. (Looked at in place: most entries of a tree are pages.)
int PageEnding(const QString& name)
{
    if (name.startsWith(QLatin1Char('.')) || name.size() < 4)
        return -1;
    const QStringView ending = QStringView(name).right(4);
    for (size_t i = 0; i < PageEndings.size(); ++i)
        if (ending.compare(PageEndings[i], Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

// Whether the walk goes into a folder entry: a folder (a link is not followed) whose name holds no
// ";", as the writer splits paths at ";".
bool Enterable(const FolderEntry& entry)
{
    return entry.kind == FolderEntry::Kind::Folder && !entry.name.contains(QLatin1Char(';'));
}

// A page file of a supplier folder, looked at and its texts made on a worker thread.
struct PageFile
{
    qsizetype entry = 0; // its place among the folder's entries
    int ending = 0;      // PageEnding
    QString name;
    QString reference;   // the name without its ending
    QString path;
    std::optional<Date> modified; // none for a dangling link
    // The writer can load only a regular file that it may read, under a path the file layer
    // holds exactly and that no ";" splits: any other entry's row is in error, red and not imported.
    bool loadable = false;
};

// What one supplier folder holds: its entries (the walk yields once for each), and the page
// files among them when the book is known; or why it could not be listed.
struct SupplierPages
{
    qsizetype entries = 0;
    std::vector<PageFile> pages;
    QString leftOut;
};

// Worker thread: lists the supplier folder and looks at each of its page files (one system call
// each, inside the open folder).
SupplierPages ReadSupplier(const OpenFolder& category, const FolderEntry& entry, bool withPages)
{
    SupplierPages read;
    try {
        const OpenFolder supplier = category.OpenChild(entry);
        const std::vector<FolderEntry> entries = supplier.Entries();
        read.entries = static_cast<qsizetype>(entries.size());
        if (!withPages)
            return read;
        read.pages.reserve(entries.size());
        for (qsizetype i = 0; i < read.entries; ++i) {
            const FolderEntry& file = entries[static_cast<size_t>(i)];
            const int ending = PageEnding(file.name);
            if (ending < 0)
                continue;
            const FileStatus status = supplier.StatusOf(file);
            PageFile& page = read.pages.emplace_back();
            page.entry = i;
            page.ending = ending;
            page.name = file.name;
            page.reference = Left(file.name, Len(file.name) - 4);
            page.path = supplier.PathOf(file);
            if (status.exists)
                page.modified = status.Modified();
            page.loadable = status.ReadableFile() && supplier.PathIsExact() && file.exactName
                && !file.name.contains(QLatin1Char(';'));
        }
    } catch (const RuntimeException& error) {
        read.leftOut = error.Message(); // the platform's message names the folder and the reason
    }
    return read;
}

// The folders a walk could not read or skipped: counted, the first one described, so that one
// message at the end tells them all.
class LeftOutFolders
{
public:
    void Add(const QString& description)
    {
        if (mCount++ == 0)
            mFirst = description;
    }

    void Report() const
    {
        if (mCount == 1)
            MsgBox(mFirst);
        else if (mCount > 1)
            MsgBox(QStringLiteral("%1 folders could not be read or were skipped. The first:").arg(mCount) + EndOfLine
                   + mFirst);
    }

private:
    int mCount = 0;
    QString mFirst;
};

// One walk of the tree: the current book code, category and supplier, set when their folder is
// entered and used for every row below it.
class TreeWalk
{
public:
    explicit TreeWalk(ImportSession& session) : mSession(session) {}

    void WalkRoot(const FolderItem& root)
    {
        try {
            ForEachEntry(OpenFolder::Open(root), [this](const OpenFolder& folder, const FolderEntry& entry) {
                EnterFolder(folder, entry, [this, &entry](const OpenFolder& book) {
                    mBookCode = BookCodeOfFolder(entry.name);
                    // Var_Book does not change during the walk: look the book up once per book folder.
                    mBookKnown = mSession.Var_Book.HasKey(mBookCode);
                    mBookName = mSession.Var_Book.Value(mBookCode);
                    WalkBook(book);
                });
            });
        } catch (const RuntimeException& error) {
            mLeftOut.Add(error.Message()); // the platform's message names the folder and the reason
        }
        mLeftOut.Report();
    }

private:
    void WalkBook(const OpenFolder& book)
    {
        ForEachEntry(book, [this](const OpenFolder& folder, const FolderEntry& entry) {
            EnterFolder(folder, entry, [this, &entry](const OpenFolder& category) {
                mCategory = entry.name;
                WalkCategory(category);
            });
        });
    }

    // The supplier folders of a category are read on the worker threads, all at once; their
    // rows are added here, in order. (A category is read whole before the next one is opened.)
    void WalkCategory(const OpenFolder& category)
    {
        const std::vector<FolderEntry> entries = category.Entries();
        WorkAhead<SupplierPages> reading;
        for (const FolderEntry& entry : entries)
            if (Enterable(entry))
                reading.Start([&category, &entry, withPages = mBookKnown] {
                    return ReadSupplier(category, entry, withPages);
                });
        for (const FolderEntry& entry : entries) {
            if (Enterable(entry)) {
                mSupplier = entry.name;
                AddSupplierRows(reading.Take());
            } else if (entry.kind == FolderEntry::Kind::Folder) {
                TellSkipped(category, entry);
            }
            YieldToEventLoop();
        }
    }

    void AddSupplierRows(const SupplierPages& supplier)
    {
        if (!supplier.leftOut.isEmpty()) {
            mLeftOut.Add(supplier.leftOut);
            return;
        }
        auto page = supplier.pages.begin();
        for (qsizetype entry = 0; entry < supplier.entries; ++entry) {
            if (page != supplier.pages.end() && page->entry == entry)
                AddPageRow(*page++);
            YieldToEventLoop();
        }
    }

    // Folders at levels 1 to 3. A linked folder is not walked: a link to a parent folder would
    // make the walk endless, and a link elsewhere would import pages from outside the tree. A
    // folder whose name holds ";" is skipped, as the writer splits paths at ";". A folder that
    // cannot be listed is left out. Both are told at the end.
    template <typename Walk>
    void EnterFolder(const OpenFolder& parent, const FolderEntry& entry, Walk walk)
    {
        if (entry.kind != FolderEntry::Kind::Folder)
            return;
        if (!Enterable(entry)) {
            TellSkipped(parent, entry);
            return;
        }
        try {
            walk(parent.OpenChild(entry));
        } catch (const RuntimeException& error) {
            mLeftOut.Add(error.Message());
        }
    }

    void TellSkipped(const OpenFolder& parent, const FolderEntry& entry)
    {
        mLeftOut.Add(QStringLiteral("The folder \"%1\" is skipped: its name holds \";\", which page lists cannot hold.")
                         .arg(parent.PathOf(entry)));
    }

    void AddPageRow(const PageFile& page)
    {
        ImportList& list = mSession.ListData;
        list.AddRow(mBookName);
        const int row = list.LastIndex();
        list.SetCell(row, 1, mCategory);
        list.SetCell(row, 2, mSupplier);
        list.SetCell(row, 3, page.reference);
        if (page.modified) {
            const Date& modified = *page.modified;
            // The locale's date forms are slow, and many pages share a day.
            const DateCells day = mDays.Get(modified.ToQDate(), [&modified] {
                return DateCells{modified.ShortDate(), modified.SQLDate()};
            });
            list.SetCell(row, 4, day.shortDate);
            list.SetCell(row, 11, day.sqlDate);
        } else {
            list.SetCell(row, 4, ErrorText); // a dangling link has no date
        }
        list.SetCell(row, 5, mZeroAmount);
        list.SetCell(row, 10, page.path);
        list.SetCell(row, 12, mBookCode);
        list.SetCell(row, 13, page.name);
        // The type registry ignores letter case, as the ending test does: one type per ending.
        std::optional<QString>& type = mTypes[static_cast<size_t>(page.ending)];
        if (!type)
            type = FolderItem::TypeOfName(page.name);
        list.SetCell(row, 14, *type);
        if (!page.loadable)
            list.SetCell(row, ImportList::ErrorColumn, ErrorMark);
    }

    // Runs visit on the entries of folder in order, yielding once after every pass.
    template <typename Visit>
    void ForEachEntry(const OpenFolder& folder, Visit visit)
    {
        for (const FolderEntry& entry : folder.Entries()) {
            visit(folder, entry);
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
    ReadingMemo<QDate, DateCells> mDays;
    std::array<std::optional<QString>, PageEndings.size()> mTypes;
    LeftOutFolders mLeftOut;
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
    TreeWalk(session).WalkRoot(root);
}
