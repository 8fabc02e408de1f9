#include "capture/PipelineWorker.h"

PipelineWorker::PipelineWorker() : m_thread([this] { run(); }) {}

PipelineWorker::~PipelineWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PipelineWorker::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
}

bool PipelineWorker::isIdle() const
{
    std::lock_guard lock(m_mutex);
    return m_jobs.empty() && !m_running;
}

void PipelineWorker::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // ending, with nothing left to do
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_running = true;
        lock.unlock();
        job();
        job = nullptr; // what the job held goes here, on this thread
        lock.lock();
        m_running = false;
    }
}
