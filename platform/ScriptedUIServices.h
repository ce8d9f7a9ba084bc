#pragma once

#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "UIServices.h"

// UI services that answer from a script and record what was shown, so tests and benchmarks run
// without a screen and without blocking.
class ScriptedUIServices : public UIServices
{
public:
    void MsgBox(const QString& text) override;
    FolderItem GetOpenFolderItem(const QString& filter) override;
    FolderItem SelectFolder(const QString& prompt) override;
    bool Launch(const FolderItem& item) override;
    bool ShowURL(const QString& url) override;
    void Yield() override;

    // Answers for the choosers, taken in order; the empty reference when none is left.
    std::deque<FolderItem> chooserAnswers;
    // Called on every yield (for a test that acts while a loop runs).
    std::function<void()> onYield;

    QStringList messages;
    QStringList chooserFilters;
    std::vector<FolderItem> launched;
    QStringList shownURLs;
    long long yields = 0;

    void Reset();
};

// Installs a ScriptedUIServices for the life of a scope and puts the previous services back.
class ScopedScriptedUI
{
public:
    ScopedScriptedUI();
    ~ScopedScriptedUI();
    ScriptedUIServices services;

private:
    UIServices* mPrevious;
};
