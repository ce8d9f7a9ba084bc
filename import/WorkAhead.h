#pragma once

#include <QThreadPool>
#include <chrono>
#include <deque>
#include <future>
#include <memory>

#include "UIServices.h"

// Pure, independent reading work (looking at files, making the texts of rows) run ahead on the
// worker threads and taken back strictly in the order it was started, so that the list fills
// as when the work is done one piece at a time. Only the taking thread touches the list and the
// window; it lets the event loop turn while it waits.
template <typename Result>
class WorkAhead
{
public:
    WorkAhead() = default;
    WorkAhead(const WorkAhead&) = delete;
    WorkAhead& operator=(const WorkAhead&) = delete;

    // The work may use what its starter holds (an open folder, say): a run that ends early still
    // waits for every piece it started.
    ~WorkAhead()
    {
        for (std::future<Result>& running : mRunning)
            running.wait();
    }

    template <typename Work>
    void Start(Work work)
    {
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(work));
        mRunning.push_back(task->get_future());
        QThreadPool::globalInstance()->start([task] { (*task)(); });
    }

    // Pieces started and not taken yet.
    size_t Running() const { return mRunning.size(); }

    // The result of the oldest work not taken yet; what the work threw is thrown here.
    Result Take()
    {
        WaitWhileYielding(mRunning.front(), WaitSlice);
        std::future<Result> done = std::move(mRunning.front());
        mRunning.pop_front();
        return done.get();
    }

private:
    // How long the taker waits for a worker before it lets the event loop turn: within the 50 ms
    // the window may wait to repaint, and long enough that a short wait takes no extra turn.
    static constexpr std::chrono::milliseconds WaitSlice{40};

    std::deque<std::future<Result>> mRunning;
};
