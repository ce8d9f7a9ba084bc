#include "ItemWriter.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

#include "DateTime.h"
#include "Exceptions.h"
#include "ImportSession.h"
#include "Numbers.h"
#include "PageLoaders.h"
#include "PreviewPipeline.h"
#include "SQLiteDatabase.h"
#include "SearchKey.h"
#include "Text.h"
#include "UIServices.h"

namespace {

const QString Separator = QStringLiteral(";");

// Columns of the import list that the writer reads.
enum Col {
    ColCategory = 1,
    ColSupplier = 2,
    ColReference = 3,
    ColAmount = 5,
    ColCurrency = 6,
    ColWarranty = 7,
    ColMonths = 8,
    ColPaths = 10,
    ColSQLDate = 11,
    ColBookCode = 12,
    ColFileNames = 13,
    ColTypes = 14,
};

// Whole numbers from list texts: truncated toward zero, and kept in a range that every later
// computation (months added to a date) can take, so that an absurd cell cannot overflow.
long long Truncated(double value)
{
    constexpr double Limit = 1e9;
    if (!std::isfinite(value))
        return 0;
    return static_cast<long long>(std::trunc(std::clamp(value, -Limit, Limit)));
}

// Every page the run will write, in order: the non-empty pieces of column 10 of the rows
// without an error mark.
std::vector<QString> PagesToWrite(const ImportList& list)
{
    std::vector<QString> pages;
    for (int row = 0; row < list.ListCount(); ++row) {
        if (list.HasErrorMark(row))
            continue;
        for (const QString& path : list.Cell(row, ColPaths).split(Separator))
            if (!path.isEmpty())
                pages.push_back(path);
    }
    return pages;
}

// One run of the writer: the list, the database and the error text of the run.
class ItemWriterRun
{
public:
    explicit ItemWriterRun(ImportSession& session)
        : mList(session.ListData), mDb(*session.db), mControls(session.controls), mPreviews(PagesToWrite(mList))
    {
    }

    bool Run();

private:
    void WriteRow(int row);
    void FillItem(int row, DatabaseRecord& item) const;
    void WritePages(int row, long long itemID);
    void WritePage(const QString& path, long long itemID, int page, const QString& types, const QString& fileName);
    bool Check();
    void Fail(const QString& text) { mErrorText = QStringLiteral("Error: ") + text; }

    const ImportList& mList;
    SQLiteDatabase& mDb;
    MainControls& mControls;
    const Date mImportStart;
    PreviewPipeline mPreviews;
    QString mErrorText;
};

bool ItemWriterRun::Run()
{
    mControls.SetProgressVisible(true);
    mControls.SetProgressValue(0);
    mControls.SetProgressMaximum(mList.ListCount());

    for (int row = 0; row < mList.ListCount(); ++row) {
        mControls.SetProgressValue(row + 1);
        if (!mList.HasErrorMark(row)) {
            try {
                WriteRow(row);
            } catch (const RuntimeException& error) {
                Fail(error.Message());
            }
        }
        YieldToEventLoop();
    }

    bool committed = false;
    if (mErrorText.isEmpty()) {
        // Committing thousands of pages takes a second: it runs off this thread so the window
        // keeps painting, and nothing else uses the database meanwhile.
        RunWhileYielding([this] { mDb.Commit(); });
        if (mDb.Error())
            Fail(mDb.ErrorMessage());
        else
            committed = true;
    }
    if (!committed)
        MsgBox(mErrorText);
    mControls.SetStatusText(QString());
    return committed;
}

// Records the outcome of the last database operation; true when it succeeded.
bool ItemWriterRun::Check()
{
    if (!mDb.Error())
        return true;
    Fail(mDb.ErrorMessage());
    return false;
}

void ItemWriterRun::WriteRow(int row)
{
    mControls.SetStatusText(mList.StatusText(row));
    DatabaseRecord item;
    FillItem(row, item);
    RunWhileYielding([&] { mDb.InsertRecord(QStringLiteral("Item"), item); });
    if (!Check())
        return;
    WritePages(row, mDb.LastRowID());
}

void ItemWriterRun::FillItem(int row, DatabaseRecord& item) const
{
    item.SetColumn(QStringLiteral("Typ"), mList.Cell(row, ColBookCode));
    item.SetColumn(QStringLiteral("SaveDate"), mImportStart.SQLDateTime());
    item.SetColumn(QStringLiteral("Category"), SubCleanField(mList.Cell(row, ColCategory)));
    item.SetColumn(QStringLiteral("Name"), SubCleanField(mList.Cell(row, ColSupplier)));
    item.SetColumn(QStringLiteral("Info"), SubCleanField(mList.Cell(row, ColReference)));
    item.SetColumn(QStringLiteral("ItemDate"), mList.Cell(row, ColSQLDate));
    item.SetDoubleColumn(QStringLiteral("Amount"), CDbl(mList.Cell(row, ColAmount)));

    if (mControls.ImportMode() == 0) {
        const double months = Val(mList.Cell(row, ColMonths));
        item.SetBooleanColumn(QStringLiteral("Warranty"), mList.CellCheck(row, ColWarranty));
        item.SetIntegerColumn(QStringLiteral("WarrantyTime"), Truncated(months));
        item.SetColumn(QStringLiteral("Currency"), SubCleanField(mList.Cell(row, ColCurrency)));
        // The end of the warranty: the item date moved on by the months. A row without a valid
        // date gets none rather than a date counted from today, and so does an end before year 1,
        // which has no SQL date.
        Date warrantyEnd;
        if (warrantyEnd.SetSQLDate(mList.Cell(row, ColSQLDate))) {
            warrantyEnd.SetMonth(Truncated(warrantyEnd.Month() + months));
            if (warrantyEnd.Year() >= 1)
                item.SetColumn(QStringLiteral("WRDate"), warrantyEnd.SQLDate());
        }
    } else {
        item.SetBooleanColumn(QStringLiteral("Warranty"), false);
        item.SetIntegerColumn(QStringLiteral("WarrantyTime"), 0);
        item.SetColumn(QStringLiteral("Currency"), mControls.CurrencyText());
    }
    item.SetIntegerColumn(QStringLiteral("ContractTyp"), 0);
    item.SetDateColumn(QStringLiteral("ContractDate"), std::nullopt);
    item.SetBooleanColumn(QStringLiteral("ToDel"), false);
    item.SetColumn(QStringLiteral("Detail"), QString());

    QStringList parts;
    for (const char* column : {"Category", "Name", "Info", "ItemDate", "Amount", "Currency", "Detail"})
        parts << item.Column(QLatin1String(column));
    item.SetColumn(QStringLiteral("Search"), SubStringReplace(parts.join(QLatin1Char('|'))));
}

// One Scan row per non-empty piece of the page list. Pages are numbered 1, 2, ... in the order
// written, so an empty piece (a trailing ";") leaves no gap; the file name is taken from the same
// piece of column 13 as the path, so names stay with their files.
void ItemWriterRun::WritePages(int row, long long itemID)
{
    // Split once: a row may list any number of pages.
    const QStringList paths = mList.Cell(row, ColPaths).split(Separator);
    const QStringList fileNames = mList.Cell(row, ColFileNames).split(Separator);
    const QString types = mList.Cell(row, ColTypes);
    int page = 0;
    for (qsizetype piece = 0; piece < paths.size(); ++piece) {
        const QString& path = paths[piece];
        if (path.isEmpty())
            continue;
        ++page;
        try {
            WritePage(path, itemID, page, types, fileNames.value(piece));
        } catch (const RuntimeException& error) {
            Fail(error.Message());
        }
        YieldToEventLoop();
    }
}

void ItemWriterRun::WritePage(const QString& path, long long itemID, int page, const QString& types,
                              const QString& fileName)
{
    // The preview is taken, and reported, before the bytes are read, so a missing or unreadable
    // file shows "Error creating preview!" like any other undecodable page. A file that could
    // never be stored is refused before it is read. A page whose bytes cannot be had is an error
    // of the run: the page is not written, so nothing incomplete is committed.
    std::optional<QByteArray> preview = mPreviews.Next(path);
    if (!preview)
        MsgBox(PreviewErrorText());
    // Reading the file and storing it may wait on the disk (the system holds back writers of a
    // large file), so both run off this thread while the window keeps painting.
    PageFileBytes file;
    RunWhileYielding([&] {
        file = ReadPageFile(path, mDb.LengthLimit());
        if (file.Failed())
            return;
        DatabaseRecord record;
        record.SetIntegerColumn(QStringLiteral("ItemID"), itemID);
        record.SetIntegerColumn(QStringLiteral("Page"), page);
        record.SetBlobColumn(QStringLiteral("Preview"), preview.value_or(QByteArray()));
        record.SetBlobColumn(QStringLiteral("Image"), file.bytes);
        record.SetColumn(QStringLiteral("Typ"), types);
        record.SetColumn(QStringLiteral("FileName"), fileName);
        mDb.InsertRecord(QStringLiteral("Scan"), record);
        // Giving a large file's memory back to the system takes long too.
        file.bytes = QByteArray();
    });
    if (file.Failed())
        Fail(file.error);
    else
        Check();
}

} // namespace

QString SubCleanField(const QString& text)
{
    QString cleaned = text;
    cleaned.replace(QChar(13), QChar(32));
    cleaned.replace(QChar(10), QChar(32));
    return cleaned;
}

bool SubAddToDB(ImportSession& session)
{
    if (!session.db || !session.db->IsConnected()) {
        MsgBox(QStringLiteral("Error: no database is open."));
        return false;
    }
    try {
        return ItemWriterRun(session).Run();
    } catch (const RuntimeException& error) {
        MsgBox(QStringLiteral("Error: ") + error.Message());
    } catch (const std::exception& error) {
        MsgBox(QStringLiteral("Error: ") + QString::fromLocal8Bit(error.what()));
    }
    session.controls.SetStatusText(QString());
    return false;
}
