#include "UIServices.h"

#include <thread>

#include "Exceptions.h"
#include "ScriptedUIServices.h"

namespace {
UIServices* installed = nullptr;
}

void SetUIServices(UIServices* services) { installed = services; }

UIServices& UI()
{
    if (!installed)
        throw NilObjectException(QStringLiteral("No user interface services are installed."));
    return *installed;
}

UIServices* InstalledUIServices() { return installed; }

void RunWhileYielding(const std::function<void()>& work)
{
    std::packaged_task<void()> task(work);
    std::future<void> done = task.get_future();
    std::thread worker(std::move(task));
    struct Joiner
    {
        std::thread& thread;
        ~Joiner() { thread.join(); }
    } joiner{worker};
    WaitWhileYielding(done);
    done.get();
}

void ScriptedUIServices::MsgBox(const QString& text) { messages << text; }

FolderItem ScriptedUIServices::GetOpenFolderItem(const QString& filter)
{
    chooserFilters << filter;
    return SelectFolder(QString());
}

FolderItem ScriptedUIServices::SelectFolder(const QString&)
{
    if (chooserAnswers.empty())
        return {};
    FolderItem answer = chooserAnswers.front();
    chooserAnswers.pop_front();
    return answer;
}

bool ScriptedUIServices::Launch(const FolderItem& item)
{
    launched.push_back(item);
    return true;
}

bool ScriptedUIServices::ShowURL(const QString& url)
{
    shownURLs << url;
    return true;
}

void ScriptedUIServices::Yield()
{
    ++yields;
    if (onYield)
        onYield();
}

void ScriptedUIServices::Reset() { *this = ScriptedUIServices(); }

ScopedScriptedUI::ScopedScriptedUI() : mPrevious(InstalledUIServices()) { SetUIServices(&services); }

ScopedScriptedUI::~ScopedScriptedUI() { SetUIServices(mPrevious); }
