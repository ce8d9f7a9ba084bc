#pragma once

#include <QString>

// What the GUI-free work reads from and shows on the main window: the progress bar, the status
// line, the import mode and the currency pop-up. The window implements it; tests and benchmarks
// use StoredControls.
class MainControls
{
public:
    virtual ~MainControls() = default;
    virtual void SetProgressVisible(bool visible) = 0;
    virtual void SetProgressMaximum(int maximum) = 0;
    // Sets the value and asks the bar to redraw.
    virtual void SetProgressValue(int value) = 0;
    // LabelFileName's text; asks the label to redraw.
    virtual void SetStatusText(const QString& text) = 0;
    // Index of the selected RadioButtonMode button: 0 CSV file, 1 folder tree.
    virtual int ImportMode() const = 0;
    // The text shown by PopupCurrency.
    virtual QString CurrencyText() const = 0;
};

// Controls that only keep what they are given.
class StoredControls : public MainControls
{
public:
    void SetProgressVisible(bool visible) override { progressVisible = visible; }
    void SetProgressMaximum(int maximum) override { progressMaximum = maximum; }
    void SetProgressValue(int value) override { progressValue = value; }
    void SetStatusText(const QString& text) override { statusText = text; }
    int ImportMode() const override { return importMode; }
    QString CurrencyText() const override { return currency; }

    bool progressVisible = false;
    int progressMaximum = 0;
    int progressValue = 0;
    QString statusText;
    int importMode = 0;
    QString currency = QStringLiteral("EUR");
};
