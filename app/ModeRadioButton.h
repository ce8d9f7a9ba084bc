#pragma once

#include <QRadioButton>

// One member of the control array RadioButtonMode, told apart by its index (0 CSV file,
// 1 folder tree). Both members take the keyboard focus in turn with Tab: Qt on its own lets Tab
// reach only the selected button of an exclusive group.
class ModeRadioButton : public QRadioButton
{
    Q_OBJECT
public:
    ModeRadioButton(int index, const QString& caption, QWidget* parent);

    int Index() const { return mIndex; }

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    int mIndex;
};
