#pragma once

#include <QStyledItemDelegate>

// Draws a cell's own text colour also when its row is selected, so a row in error stays red
// while the user looks at it: its selection bar is a light tint of the selection colour, and
// the red is deepened where needed to stay readable on it.
class ErrorRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The contrast a selected row's text keeps to its selection bar.
    static constexpr double MinimumContrast = 4.5;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
