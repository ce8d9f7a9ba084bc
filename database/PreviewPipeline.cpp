#include "PreviewPipeline.h"

#include <QThreadPool>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>

#include "PageLoaders.h"
#include "Picture.h"
#include "UIServices.h"

namespace {

// Pages started ahead of the one the writer takes, per worker thread: enough to keep every
// worker busy while the writer stores a slow page; it only keeps the pool's queue short, memory
// is bounded by the budget.
constexpr size_t PagesAheadPerThread = 8;

} // namespace

// What the workers and the writer share, under one mutex.
struct PreviewPipeline::Shared
{
    explicit Shared(long long budget) : budget(budget) {}

    // Blocks until page index may decode cost bytes: its turn has come and the budget has room,
    // or nothing at all is held. False when the pipeline is stopping.
    bool Admit(size_t index, long long cost)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopping || (nextAdmitted == index && (held + cost <= budget || held == 0)); });
        if (stopping)
            return false;
        held += cost;
        ++nextAdmitted;
        ++decoding;
        NotePeak();
        changed.notify_all();
        return true;
    }

    // The decode of page index is over: its pixels are released and its preview waits, held.
    void Finish(size_t index, long long cost, std::optional<QByteArray> preview)
    {
        std::lock_guard lock(mutex);
        held -= cost;
        if (preview)
            held += preview->size();
        done.emplace(index, std::move(preview));
        --decoding;
        --running;
        NotePeak();
        changed.notify_all();
    }

    // Under the mutex, after held or decoding changed.
    void NotePeak()
    {
        peak.decodes = std::max(peak.decodes, decoding);
        peak.bytes = std::max(peak.bytes, held);
    }

    // Worker thread: the preview of page index, made when its turn and the budget allow.
    void Make(size_t index, const QString& path)
    {
        if (Stopping()) {
            Abandon(index);
            return;
        }
        PictureFitter picture(PageFileNativePath(path), PreviewBox);
        const long long cost = picture.DecodeBytes();
        if (!Admit(index, cost)) {
            Abandon(index);
            return;
        }
        Finish(index, cost, PreviewOf(picture));
    }

    bool Stopping()
    {
        std::lock_guard lock(mutex);
        return stopping;
    }

    // A page that was never admitted (the pipeline is stopping) still passes its turn on.
    void Abandon(size_t index)
    {
        std::lock_guard lock(mutex);
        done.emplace(index, std::nullopt);
        --running;
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    const long long budget;
    long long held = 0;           // bytes being decoded plus bytes of the previews in done
    size_t nextAdmitted = 0;      // pages are admitted to decoding strictly in list order
    size_t running = 0;           // tasks started and not yet finished
    size_t decoding = 0;          // pages admitted and not yet finished
    Peak peak;
    bool stopping = false;
    std::map<size_t, std::optional<QByteArray>> done;
};

PreviewPipeline::PreviewPipeline(std::vector<QString> paths, long long budget)
    : mPaths(std::move(paths)), mBudget(std::max(budget, 0LL)), mShared(std::make_shared<Shared>(mBudget)),
      mPool(std::make_unique<QThreadPool>())
{
    TopUp();
}

PreviewPipeline::~PreviewPipeline()
{
    // A run that stops early must not leave workers reading files behind it; a page being
    // decoded is finished first, while the window paints.
    {
        std::lock_guard lock(mShared->mutex);
        mShared->stopping = true;
        mShared->changed.notify_all();
    }
    const auto finished = [&](std::chrono::milliseconds slice) {
        std::unique_lock lock(mShared->mutex);
        return mShared->changed.wait_for(lock, slice, [&] { return mShared->running == 0; });
    };
    if (InstalledUIServices())
        WaitWhileYielding(finished);
    else
        while (!finished(WaitSlice)) {
        }
}

long long PreviewPipeline::DefaultBudget()
{
    return LookAheadPictureBytes();
}

PreviewPipeline::Peak PreviewPipeline::Peaks() const
{
    std::lock_guard lock(mShared->mutex);
    return mShared->peak;
}

void PreviewPipeline::TopUp()
{
    if (mBudget == 0)
        return;
    const size_t ahead = PagesAheadPerThread * size_t(std::max(1, mPool->maxThreadCount()));
    while (mNextToStart - mNextToTake < ahead && mNextToStart < mPaths.size()) {
        const size_t index = mNextToStart++;
        {
            std::lock_guard lock(mShared->mutex);
            ++mShared->running;
        }
        mPool->start(
            [shared = mShared, index, path = mPaths[index]] { shared->Make(index, path); });
    }
}

// Waits for page index, letting the event loop turn meanwhile, and takes its preview; the bytes
// it held go back to the budget.
std::optional<QByteArray> PreviewPipeline::Take(size_t index)
{
    WaitWhileYielding([&](std::chrono::milliseconds slice) {
        std::unique_lock lock(mShared->mutex);
        return mShared->changed.wait_for(lock, slice, [&] { return mShared->done.count(index) > 0; });
    });
    std::lock_guard lock(mShared->mutex);
    const auto found = mShared->done.find(index);
    std::optional<QByteArray> preview = std::move(found->second);
    mShared->done.erase(found);
    if (preview)
        mShared->held -= preview->size();
    mShared->changed.notify_all();
    return preview;
}

std::optional<QByteArray> PreviewPipeline::Next(const QString& path)
{
    if (mBudget == 0)
        return MakePreview(path);
    // Pages the run passed over (an item that could not be written) are dropped up to path, so
    // that what they hold goes back to the budget; past those started ahead, the look-ahead
    // starts again at path.
    size_t index = mNextToTake;
    while (index < mPaths.size() && mPaths[index] != path)
        ++index;
    for (; mNextToTake < std::min(index, mNextToStart); ++mNextToTake)
        Take(mNextToTake);
    if (index == mPaths.size()) {
        // Not among the pages ahead: made alone, as nothing started ahead is held any more.
        std::optional<QByteArray> preview;
        RunWhileYielding([&] { preview = MakePreview(path); });
        return preview;
    }
    if (index > mNextToStart) {
        // Nothing started ahead is left: pages never started are passed over too.
        std::lock_guard lock(mShared->mutex);
        mShared->nextAdmitted = mNextToStart = index;
    }
    mNextToTake = index;
    TopUp();
    std::optional<QByteArray> preview = Take(mNextToTake++);
    TopUp();
    return preview;
}
