#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include "ImportList.h"

// Shows an ImportList in a table view: the ten headings, the 21 columns (the window hides those
// past the visible count), column 7 as a check box and rows with an error mark in red.
//
// Rows that a reader adds are announced to the views in batches, when the event loop next runs
// (or on Flush), so that filling a list of 100,000 rows costs no view work per row.
class ImportListModel : public QAbstractTableModel, private ImportListListener
{
    Q_OBJECT
public:
    explicit ImportListModel(ImportList& list, QObject* parent = nullptr);
    ~ImportListModel() override;

    // "Type", "Category", ... "File1,File2,...".
    static const QStringList& Headings();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Announces the rows added since the last announcement.
    void Flush();

signals:
    // The visible column count or the column widths text changed.
    void VisibleColumnsChanged();

private:
    void ListReset() override;
    void RowAdded(int row) override;
    void CellChanged(int row, int column) override;
    void ColumnsChanged() override;

    ImportList& mList;
    int mShownRows = 0;       // rows the views know of
    bool mFlushPosted = false;
};
