#include "TreeReader.h"

#include <QHash>

#include "BookCodePrefix.h"
#include "Exceptions.h"
#include "Numbers.h"
#include "OpenFolder.h"
#include "Text.h"
#include "UIServices.h"

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

// A page file name: not hidden, ending in one of the four page endings (letter case ignored).
bool IsPageName(const QString& name)
{
    if (Left(name, 1) == QLatin1String("."))
        return false;
    const QString ending = Right(name, 4);
    return SameText(ending, QStringLiteral(".pdf")) || SameText(ending, QStringLiteral(".jpg"))
        || SameText(ending, QStringLiteral(".png")) || SameText(ending, QStringLiteral(".tif"));
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

// The texts of a page's modification day, made once per day: the locale's date forms are slow,
// and the rows of one day share their texts.
struct DayTexts
{
    QString shortDate;
    QString sqlDate;
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

    void WalkCategory(const OpenFolder& category)
    {
        ForEachEntry(category, [this](const OpenFolder& folder, const FolderEntry& entry) {
            EnterFolder(folder, entry, [this, &entry](const OpenFolder& supplier) {
                mSupplier = entry.name;
                ForEachEntry(supplier, [this](const OpenFolder& folder, const FolderEntry& entry) {
                    if (mBookKnown && IsPageName(entry.name))
                        AddPageRow(folder, entry);
                });
            });
        });
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
        if (entry.name.contains(QLatin1Char(';'))) {
            mLeftOut.Add(QStringLiteral("The folder \"%1\" is skipped: its name holds \";\", which page lists cannot hold.")
                             .arg(parent.PathOf(entry)));
            return;
        }
        try {
            walk(parent.OpenChild(entry));
        } catch (const RuntimeException& error) {
            mLeftOut.Add(error.Message());
        }
    }

    // Every entry that passes the page filter gives its row. The writer can load only a regular
    // file that it may read, under a path the file layer holds exactly and that no ";" splits:
    // any other entry's row is in error, red and not imported.
    void AddPageRow(const OpenFolder& folder, const FolderEntry& entry)
    {
        const QString& name = entry.name;
        const FileStatus status = folder.StatusOf(entry);
        const QString path = folder.PathOf(entry);
        const bool loadable = status.ReadableFile() && folder.PathIsExact() && entry.exactName
            && !name.contains(QLatin1Char(';'));
        ImportList& list = mSession.ListData;
        list.AddRow(mBookName);
        const int row = list.LastIndex();
        list.SetCell(row, 1, mCategory);
        list.SetCell(row, 2, mSupplier);
        list.SetCell(row, 3, Left(name, Len(name) - 4));
        if (status.exists) {
            const DayTexts& day = TextsOfDay(status.Modified());
            list.SetCell(row, 4, day.shortDate);
            list.SetCell(row, 11, day.sqlDate);
        } else {
            list.SetCell(row, 4, ErrorText); // a dangling link has no date
        }
        list.SetCell(row, 5, mZeroAmount);
        list.SetCell(row, 10, path);
        list.SetCell(row, 12, mBookCode);
        list.SetCell(row, 13, name);
        list.SetCell(row, 14, TypeOfPageName(name));
        if (!loadable)
            list.SetCell(row, ImportList::ErrorColumn, ErrorMark);
    }

    const DayTexts& TextsOfDay(const Date& modified)
    {
        const QDate day = modified.ToQDate();
        auto found = mDays.find(day);
        if (found == mDays.end())
            found = mDays.insert(day, {modified.ShortDate(), modified.SQLDate()});
        return *found;
    }

    // The four page endings give four types: each asked of the registry once per walk.
    const QString& TypeOfPageName(const QString& name)
    {
        const QString ending = Right(name, 4);
        auto found = mTypes.find(ending);
        if (found == mTypes.end())
            found = mTypes.insert(ending, FolderItem::TypeOfName(name));
        return *found;
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
    QHash<QDate, DayTexts> mDays;
    QHash<QString, QString> mTypes;
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
