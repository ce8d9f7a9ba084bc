#include "PreviewPipeline.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include "PageLoaders.h"

PreviewPipeline::PreviewPipeline(std::vector<QString> paths, int lookahead)
    : mPaths(std::move(paths)), mLookahead(std::max(lookahead, 0))
{
    TopUp();
}

PreviewPipeline::~PreviewPipeline()
{
    // A run that stops early must not leave workers reading files behind it.
    for (auto& future : mPending)
        future.waitForFinished();
}

int PreviewPipeline::DefaultLookahead()
{
    return std::max(1, QThread::idealThreadCount());
}

void PreviewPipeline::TopUp()
{
    while (static_cast<int>(mPending.size()) < mLookahead && mNextToStart < mPaths.size())
        mPending.push_back(QtConcurrent::run(&MakePreview, mPaths[mNextToStart++]));
}

std::optional<QByteArray> PreviewPipeline::Next(const QString& path)
{
    // Pages the run passed over (an item that could not be written) are dropped up to path.
    size_t ahead = 0;
    while (ahead < mPending.size() && mPaths[mNextToTake + ahead] != path)
        ++ahead;
    if (ahead == mPending.size())
        return MakePreview(path);
    for (; ahead > 0; --ahead) {
        mPending.front().waitForFinished();
        mPending.pop_front();
        ++mNextToTake;
    }
    std::optional<QByteArray> preview = mPending.front().result();
    mPending.pop_front();
    ++mNextToTake;
    TopUp();
    return preview;
}
