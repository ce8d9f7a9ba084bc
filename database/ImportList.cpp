#include "ImportList.h"

void ImportList::AddRow(const QString& text)
{
    ImportRow row;
    row.cells[0] = text;
    mRows.push_back(std::move(row));
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
    return Valid(row, column) ? mRows[static_cast<size_t>(row)].cells[static_cast<size_t>(column)] : QString();
}

void ImportList::SetCell(int row, int column, const QString& text)
{
    if (!Valid(row, column))
        return;
    mRows[static_cast<size_t>(row)].cells[static_cast<size_t>(column)] = text;
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
