#pragma once

#include <QString>
#include <array>
#include <deque>
#include <memory>

// One row of the import list: 21 text columns and the check state of column 7.
//  0 book name, 1 category, 2 supplier, 3 reference, 4 short date or "Error", 5 amount,
//  6 currency, 7 warranty (check box), 8 months, 9 file names or "*** Error in file path",
// hidden: 10 page paths joined by ";", 11 SQL date, 12 book code, 13 page file names,
//  14 page file type names, 15-19 unused, 20 error mark ("X": shown red, not imported).
// How the readers write an amount in column 5; the writer reads it back with CDbl.
inline const QString AmountPattern = QStringLiteral("-###,###.00");

// Columns 15 to 19, which no reader fills, take room only once written: a list of many rows
// keeps 16 texts per row.
class ImportRow
{
public:
    static constexpr int ColumnCount = 21;

    // column 0 to 20.
    const QString& Cell(int column) const;
    void SetCell(int column, const QString& text);

    bool warrantyChecked = false;

private:
    static constexpr int FirstUnused = 15, LastUnused = 19;

    std::array<QString, ColumnCount - (LastUnused - FirstUnused + 1)> mCells; // 0 to 14, then 20
    std::unique_ptr<std::array<QString, LastUnused - FirstUnused + 1>> mUnused;
};

// Told about every change of an ImportList (the window's table model listens).
class ImportListListener
{
public:
    virtual ~ImportListListener() = default;
    virtual void ListReset() = 0;
    virtual void RowAdded(int row) = 0;
    virtual void CellChanged(int row, int column) = 0;
    virtual void ColumnsChanged() = 0;
};

// The list of documents found by a reader, the only hand-over between the readers and the
// database writer. It holds no widget: the main window shows it through a table model.
class ImportList
{
public:
    static constexpr int CheckColumn = 7;
    static constexpr int ErrorColumn = 20;

    // Adds a new last row whose column 0 holds text.
    void AddRow(const QString& text);
    int LastIndex() const { return static_cast<int>(mRows.size()) - 1; }
    int ListCount() const { return static_cast<int>(mRows.size()); }
    void DeleteAllRows();

    // Any column 0 to 20; a cell no one wrote reads as the empty text. Out of range rows or
    // columns read empty and are not written.
    QString Cell(int row, int column) const;
    void SetCell(int row, int column, const QString& text);
    bool CellCheck(int row, int column) const;
    void SetCellCheck(int row, int column, bool checked);
    bool HasErrorMark(int row) const { return !Cell(row, ErrorColumn).isEmpty(); }
    const ImportRow& Row(int row) const { return mRows.at(static_cast<size_t>(row)); }
    // What the status line shows for a row: "book code/category/supplier/page file names".
    QString StatusText(int row) const;

    // Visible columns (10 in CSV mode, 5 in folder mode) and their widths text ("*,*,120").
    int ColumnCount() const { return mColumnCount; }
    void SetColumnCount(int count);
    const QString& ColumnWidths() const { return mColumnWidths; }
    void SetColumnWidths(const QString& widths);

    void SetListener(ImportListListener* listener) { mListener = listener; }

private:
    bool Valid(int row, int column) const;

    // Rows stay where they are as the list grows: a long list is never copied to a larger block.
    std::deque<ImportRow> mRows;
    int mColumnCount = 10;
    QString mColumnWidths;
    ImportListListener* mListener = nullptr;
};
