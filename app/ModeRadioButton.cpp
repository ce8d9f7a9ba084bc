#include "ModeRadioButton.h"

#include <QButtonGroup>

ModeRadioButton::ModeRadioButton(int index, const QString& caption, QWidget* parent)
    : QRadioButton(caption, parent), mIndex(index)
{
}

void ModeRadioButton::focusInEvent(QFocusEvent* event)
{
    QRadioButton::focusInEvent(event);
    // The base class has just taken Tab focus away from the other members; give it back.
    if (QButtonGroup* members = group())
        for (QAbstractButton* member : members->buttons())
            member->setFocusPolicy(Qt::StrongFocus);
}
