#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Ondo::GFX {

// Encodes and writes files on worker threads, off the GL thread: a sink hands
// over the pixels it read back and goes on with the next frame while earlier
// frames are written. The queue is bounded, so a run whose frames come faster
// than they are written waits rather than piling up pictures in memory. Every
// job's outcome is kept until the owner takes it: an error is never lost.
class BackgroundWriter {
public:
    // uiThreads workers (at least one); Submit waits while uiMaxQueued jobs
    // (at least one) are queued or being written.
    BackgroundWriter(unsigned int uiThreads, std::size_t uiMaxQueued);
    // Finishes every queued job first.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // A finished job: who asked for it (a sink's description), the file, and
    // why it failed (empty when it was written).
    struct Outcome {
        std::string m_strWho;
        std::string m_strPath;
        std::string m_strError;
    };

    // Queues fnWrite, which writes strPath and throws what it cannot do.
    void Submit(std::string strWho, std::string strPath, std::function<void()> fnWrite);
    // The outcomes of the jobs finished since the last call, in the order they
    // were submitted up to the first one still running.
    std::vector<Outcome> TakeOutcomes();
    // Waits until every submitted job has finished.
    void Finish();

private:
    struct Job {
        Outcome outcome;
        std::function<void()> fnWrite;
        bool bDone = false;
    };
    void Work();

    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    // Every job not yet taken, in submission order; m_uiNext is the first not
    // yet started.
    std::deque<Job> m_Jobs;
    std::size_t m_uiNext = 0;
    std::size_t m_uiUnfinished = 0;
    std::size_t m_uiMaxQueued;
    bool m_bStopping = false;
    std::vector<std::thread> m_Threads;
};

} // namespace Ondo::GFX
