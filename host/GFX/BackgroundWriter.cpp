#include "host/GFX/BackgroundWriter.h"

#include <algorithm>
#include <exception>

namespace Ondo::GFX {

BackgroundWriter::BackgroundWriter(unsigned int uiThreads, std::size_t uiMaxQueued)
    : m_uiMaxQueued(std::max<std::size_t>(uiMaxQueued, 1))
{
    for (unsigned int i = 0; i < std::max(uiThreads, 1u); ++i) m_Threads.emplace_back([this] { Work(); });
}

BackgroundWriter::~BackgroundWriter()
{
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Changed.wait(lock, [this] { return m_uiUnfinished == 0; });
        m_bStopping = true;
    }
    m_Changed.notify_all();
    for (std::thread& thread : m_Threads) thread.join();
}

void BackgroundWriter::Submit(std::string strWho, std::string strPath, std::function<void()> fnWrite)
{
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Changed.wait(lock, [this] { return m_uiUnfinished < m_uiMaxQueued; });
        Job job;
        job.outcome = {std::move(strWho), std::move(strPath), {}};
        job.fnWrite = std::move(fnWrite);
        m_Jobs.push_back(std::move(job));
        ++m_uiUnfinished;
    }
    m_Changed.notify_all();
}

std::vector<BackgroundWriter::Outcome> BackgroundWriter::TakeOutcomes()
{
    std::vector<Outcome> outcomes;
    std::lock_guard<std::mutex> lock(m_Mutex);
    while (!m_Jobs.empty() && m_Jobs.front().bDone) {
        outcomes.push_back(std::move(m_Jobs.front().outcome));
        m_Jobs.pop_front();
        --m_uiNext;
    }
    return outcomes;
}

void BackgroundWriter::Finish()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_uiUnfinished == 0; });
}

void BackgroundWriter::Work()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Changed.wait(lock, [this] { return m_bStopping || m_uiNext < m_Jobs.size(); });
        if (m_uiNext >= m_Jobs.size()) return;
        // A deque keeps its elements in place while others are added at the
        // back or taken from the front, which happens only to finished jobs.
        Job& job = m_Jobs[m_uiNext++];
        std::function<void()> fnWrite = std::move(job.fnWrite);
        lock.unlock();
        std::string strError;
        try {
            fnWrite();
        } catch (const std::exception& error) {
            strError = error.what();
        } catch (...) {
            strError = "an unknown error";
        }
        fnWrite = nullptr;
        lock.lock();
        job.outcome.m_strError = std::move(strError);
        job.bDone = true;
        --m_uiUnfinished;
        m_Changed.notify_all();
    }
}

} // namespace Ondo::GFX
