#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One thread that runs the pipelines' state changes in the order they were asked for, so that the
// UI thread never waits for a camera to open, negotiate or close, and a camera is closed by one
// pipeline before the next opens it.
class PipelineWorker final
{
public:
    PipelineWorker();
    // Runs what is queued, then ends the thread.
    ~PipelineWorker();
    PipelineWorker(const PipelineWorker&) = delete;
    PipelineWorker& operator=(const PipelineWorker&) = delete;

    void post(std::function<void()> job);
    // True when every job posted so far has run.
    bool isIdle() const;

private:
    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_running = false;
    bool m_ending = false;
    std::thread m_thread;
};
