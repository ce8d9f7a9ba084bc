#include "ImportListModel.h"

#include <QBrush>
#include <QColor>

ImportListModel::ImportListModel(ImportList& list, QObject* parent)
    : QAbstractTableModel(parent), mList(list), mShownRows(list.ListCount())
{
    mList.SetListener(this);
}

ImportListModel::~ImportListModel() { mList.SetListener(nullptr); }

const QStringList& ImportListModel::Headings()
{
    static const QStringList headings = {
        QStringLiteral("Type"),      QStringLiteral("Category"),    QStringLiteral("Supplier"),
        QStringLiteral("Reference"), QStringLiteral("Date"),        QStringLiteral("Amount"),
        QStringLiteral("Currency"),  QStringLiteral("Is Warranty"), QStringLiteral("Months"),
        QStringLiteral("File1,File2,...")};
    return headings;
}

int ImportListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : mShownRows; }

int ImportListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ImportRow::ColumnCount;
}

QVariant ImportListModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    const int column = index.column();
    if (!index.isValid() || row >= mList.ListCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (column == ImportList::CheckColumn)
            return {};
        return mList.Cell(row, column);
    case Qt::CheckStateRole:
        if (column != ImportList::CheckColumn)
            return {};
        return mList.CellCheck(row, column) ? Qt::Checked : Qt::Unchecked;
    case Qt::ForegroundRole:
        if (mList.HasErrorMark(row))
            return QBrush(QColor(255, 0, 0));
        return {};
    default:
        return {};
    }
}

bool ImportListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != ImportList::CheckColumn)
        return false;
    mList.SetCellCheck(index.row(), index.column(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ImportListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ImportList::CheckColumn)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant ImportListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section >= 0 && section < Headings().size() ? Headings()[section] : QString();
}

void ImportListModel::Flush()
{
    mFlushPosted = false;
    const int count = mList.ListCount();
    if (count <= mShownRows)
        return;
    beginInsertRows(QModelIndex(), mShownRows, count - 1);
    mShownRows = count;
    endInsertRows();
}

void ImportListModel::ListReset()
{
    beginResetModel();
    mShownRows = mList.ListCount();
    endResetModel();
}

void ImportListModel::RowAdded(int)
{
    if (mFlushPosted)
        return;
    mFlushPosted = true;
    QMetaObject::invokeMethod(this, &ImportListModel::Flush, Qt::QueuedConnection);
}

void ImportListModel::CellChanged(int row, int column)
{
    // Rows not announced yet are drawn with their final cells when they are.
    if (row >= mShownRows)
        return;
    if (column == ImportList::ErrorColumn)
        emit dataChanged(index(row, 0), index(row, ImportRow::ColumnCount - 1), {Qt::ForegroundRole});
    else
        emit dataChanged(index(row, column), index(row, column));
}

void ImportListModel::ColumnsChanged() { emit VisibleColumnsChanged(); }
