#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <deque>
#include <optional>
#include <vector>

// Makes the previews of the pages a run will write ahead of time, on worker threads, and hands
// them out strictly in the order of the run. Making a preview is a function of the path alone
// (MakePreview), so the result is the same as making it when the page is written; only previews
// run ahead, never page bytes, so memory stays bounded by a few small JPEGs.
class PreviewPipeline
{
public:
    // paths: every page the run will write, in order. lookahead: how many previews may be in
    // the making at once (0 makes every preview on the caller's thread).
    explicit PreviewPipeline(std::vector<QString> paths, int lookahead = DefaultLookahead());
    ~PreviewPipeline();
    PreviewPipeline(const PreviewPipeline&) = delete;
    PreviewPipeline& operator=(const PreviewPipeline&) = delete;

    // The preview of path, which should be the next page of the run; a path out of turn is made
    // at once. nullopt when the file cannot be decoded.
    std::optional<QByteArray> Next(const QString& path);

    static int DefaultLookahead();

private:
    void TopUp();

    std::vector<QString> mPaths;
    size_t mNextToStart = 0;
    size_t mNextToTake = 0;
    int mLookahead;
    std::deque<QFuture<std::optional<QByteArray>>> mPending;
};
