#pragma once
// Threads, mutexes, the millisecond tick and the timer.
//
// Cancellation is cooperative: Cancel() raises a flag and joins. Every polling loop in the
// program sleeps through clsThread::Sleep (or checks Cancelled()), which returns early once the
// thread is cancelled, so a cancelled thread ends within one poll interval.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace dranbase {

// Milliseconds since the process started (monotonic).
std::int64_t Tick();
// Plain sleep of the calling thread (not cancellable; use clsThread::Sleep inside threads).
void SleepMs(std::int64_t ms);

// A mutex that refuses recursive locking by its owner instead of deadlocking.
class clsMutex {
public:
    // False when the calling thread already holds it (error-checking behaviour).
    bool Lock();
    bool TryLock();
    void Unlock();

private:
    std::mutex m_;
    std::atomic<std::thread::id> owner_ {};
};

class clsThread {
public:
    explicit clsThread(std::string name);
    // Derived classes must stop their thread in their own destructor (Cancel or Wait):
    // the body may not outlive the derived part it runs on. This one cancels as a last guard.
    virtual ~clsThread();
    clsThread(const clsThread&) = delete;
    clsThread& operator=(const clsThread&) = delete;

    // Starts the body on a new thread. IsRunning() is true at once. A running thread is left
    // alone (nothing is created). Returns IsRunning().
    virtual bool Start();
    // Asks the body to end (Cancelled() turns true, Sleep returns early) and joins it.
    virtual bool Cancel();
    // Joins the thread. Returns true only on failure (a thread waiting for itself).
    virtual bool Wait();
    bool IsRunning() const { return state_.load() != 0; }
    int GetState() const { return state_.load(); }
    const std::string& Name() const { return name_; }

    // True once Cancel() was called for the current run.
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // Sleeps up to ms; returns false (early) when the thread is cancelled.
    bool Sleep(std::int64_t ms);

protected:
    // The thread body.
    virtual bool Run() = 0;
    // Called on the thread after Run has returned and the running state is 0.
    virtual void OnExit() { }
    // Clears the running state from inside, as the end of the body does.
    void SetState(int s) { state_.store(s); }

private:
    void Entry();
    void JoinIfDone();

    std::string name_;
    std::mutex stateMutex_; // serialises Start, Cancel and Wait
    std::atomic<int> state_ { 0 };
    std::atomic<bool> cancelled_ { false };
    std::mutex sleepMutex_;
    std::condition_variable sleepCv_;
    std::thread thread_;
};

// Measures elapsed milliseconds; appends one line to its log file when destroyed.
class clsTimer {
public:
    explicit clsTimer(std::string logFile = {});
    ~clsTimer();
    // Adds the time since construction to the elapsed total.
    void Stop();
    std::int64_t Elapsed() const { return elapsed_; }

private:
    std::string name_;
    std::string logFile_;
    std::int64_t start_;
    std::int64_t elapsed_ = 0;
    std::int64_t count_ = 1;
};

} // namespace dranbase
