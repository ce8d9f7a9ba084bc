#pragma once

#include <QStyledItemDelegate>

// Draws a cell's own text colour also when its row is selected, so a row in error stays red
// while the user looks at it.
class ErrorRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
