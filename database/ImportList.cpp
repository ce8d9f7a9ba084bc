#include "ImportList.h"

const QString& ImportRow::Cell(int column) const
{
    static const QString empty;
    if (column < FirstUnused)
        return mCells[static_cast<size_t>(column)];
    if (column > LastUnused)
        return mCells[static_cast<size_t>(column - (LastUnused - FirstUnused + 1))];
    return mUnused ? (*mUnused)[static_cast<size_t>(column - FirstUnused)] : empty;
}

void ImportRow::SetCell(int column, const QString& text)
{
    if (column < FirstUnused)
        mCells[static_cast<size_t>(column)] = text;
    else if (column > LastUnused)
        mCells[static_cast<size_t>(column - (LastUnused - FirstUnused + 1))] = text;
    else {
        if (!mUnused)
            mUnused = std::make_unique<std::array<QString, LastUnused - FirstUnused + 1>>();
        (*mUnused)[static_cast<size_t>(column - FirstUnused)] = text;
    }
}

void ImportList::AddRow(const QString& text)
{
    mRows.emplace_back().SetCell(0, text);
    if (mListener)
        mListener->RowAdded(LastIndex());
}

void ImportList::DeleteAllRows()
{
    mRows.clear();
    mRows.shrink_to_fit();
    if (mListener)
        mListener->ListReset();
}

bool ImportList::Valid(int row, int column) const
{
    return row >= 0 && row < ListCount() && column >= 0 && column < ImportRow::ColumnCount;
}

QString ImportList::Cell(int row, int column) const
{
    return Valid(row, column) ? mRows[static_cast<size_t>(row)].Cell(column) : QString();
}

void ImportList::SetCell(int row, int column, const QString& text)
{
    if (!Valid(row, column))
        return;
    mRows[static_cast<size_t>(row)].SetCell(column, text);
    if (mListener)
        mListener->CellChanged(row, column);
}

QString ImportList::StatusText(int row) const
{
    return Cell(row, 12) + QLatin1Char('/') + Cell(row, 1) + QLatin1Char('/') + Cell(row, 2) + QLatin1Char('/')
        + Cell(row, 13);
}

bool ImportList::CellCheck(int row, int column) const
{
    return column == CheckColumn && Valid(row, column) && mRows[static_cast<size_t>(row)].warrantyChecked;
}

void ImportList::SetCellCheck(int row, int column, bool checked)
{
    if (column != CheckColumn || !Valid(row, column))
        return;
    mRows[static_cast<size_t>(row)].warrantyChecked = checked;
    if (mListener)
        mListener->CellChanged(row, column);
}

void ImportList::SetColumnCount(int count)
{
    mColumnCount = count;
    if (mListener)
        mListener->ColumnsChanged();
}

void ImportList::SetColumnWidths(const QString& widths)
{
    mColumnWidths = widths;
    if (mListener)
        mListener->ColumnsChanged();
}
