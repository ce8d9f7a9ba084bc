#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class QThreadPool;

// Makes the previews of the pages a run will write ahead of time, on worker threads, and hands
// them out strictly in the order of the run. Making a preview is a function of the path alone
// (MakePreview), so the result is the same as making it when the page is written; only previews
// run ahead, never page bytes.
//
// How far the previews run ahead is bounded by memory: the pixels being decoded plus the
// finished previews waiting to be taken stay within the budget. Pages are admitted to decoding
// in list order; a page that needs more than the budget waits until nothing else is held and is
// then decoded alone, so the oldest page can always go on and no input can exhaust memory.
class PreviewPipeline
{
public:
    // paths: every page the run will write, in order. budget: the bytes that previews made ahead
    // may hold at once (0 makes every preview on the caller's thread).
    explicit PreviewPipeline(std::vector<QString> paths, long long budget = DefaultBudget());
    ~PreviewPipeline();
    PreviewPipeline(const PreviewPipeline&) = delete;
    PreviewPipeline& operator=(const PreviewPipeline&) = delete;

    // The preview of path, which should be the next page of the run. Pages before it are passed
    // over; a path that is not among the pages ahead is made once what was started ahead is
    // dropped, within the budget like the others. nullopt when the file cannot be decoded. While
    // it waits for a worker it lets the event loop turn, so the window keeps painting.
    std::optional<QByteArray> Next(const QString& path);

    // LookAheadPictureBytes: a quarter of the memory ceiling of pictures.
    static long long DefaultBudget();

    // The most the previews made ahead have reached so far: decodes running at once and bytes
    // held. Lets callers and benchmarks see how far the look-ahead went within the budget.
    struct Peak
    {
        size_t decodes = 0;
        long long bytes = 0;
    };
    Peak Peaks() const;

private:
    struct Shared;

    void TopUp();
    std::optional<QByteArray> Take(size_t index);

    std::vector<QString> mPaths;
    size_t mNextToStart = 0;
    size_t mNextToTake = 0;
    long long mBudget;
    std::shared_ptr<Shared> mShared;
    // The workers wait in the pool for their turn and the budget, so the pool is the pipeline's
    // own: Qt's smooth scaling hands work to the global pool and waits for it.
    std::unique_ptr<QThreadPool> mPool;
};
