#include "dranbase/clsthread.h"

#include <chrono>
#include <cstdio>

namespace dranbase {

namespace {
    const auto processStart = std::chrono::steady_clock::now();
}

std::int64_t Tick()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - processStart)
        .count();
}

void SleepMs(std::int64_t ms)
{
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool clsMutex::Lock()
{
    if (owner_.load() == std::this_thread::get_id()) return false;
    m_.lock();
    owner_.store(std::this_thread::get_id());
    return true;
}

bool clsMutex::TryLock()
{
    if (owner_.load() == std::this_thread::get_id()) return false;
    if (!m_.try_lock()) return false;
    owner_.store(std::this_thread::get_id());
    return true;
}

void clsMutex::Unlock()
{
    if (owner_.load() != std::this_thread::get_id()) return; // not ours: refused
    owner_.store(std::thread::id {});
    m_.unlock();
}

clsThread::clsThread(std::string name)
    : name_(std::move(name))
{
}

clsThread::~clsThread()
{
    clsThread::Cancel();
}

void clsThread::Entry()
{
    Run();
    state_.store(0);
    OnExit();
}

void clsThread::JoinIfDone()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool clsThread::Start()
{
    std::lock_guard lock(stateMutex_);
    if (state_.load() != 0) return true;
    JoinIfDone(); // reap a previous run that has finished
    cancelled_.store(false);
    state_.store(1);
    try {
        thread_ = std::thread([this] { Entry(); });
    } catch (...) {
        state_.store(0);
        return false;
    }
    return true; // started (a short body may already have ended)
}

bool clsThread::Cancel()
{
    std::lock_guard lock(stateMutex_);
    {
        std::lock_guard sl(sleepMutex_);
        cancelled_.store(true);
    }
    sleepCv_.notify_all();
    JoinIfDone();
    if (!thread_.joinable()) state_.store(0);
    return true;
}

bool clsThread::Wait()
{
    std::lock_guard lock(stateMutex_);
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return true;
    JoinIfDone();
    state_.store(0);
    return false;
}

bool clsThread::Sleep(std::int64_t ms)
{
    std::unique_lock lock(sleepMutex_);
    return !sleepCv_.wait_for(
        lock, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return Cancelled(); });
}

clsTimer::clsTimer(std::string logFile)
    : logFile_(std::move(logFile))
    , start_(Tick())
{
}

clsTimer::~clsTimer()
{
    if (logFile_.empty()) return;
    if (std::FILE* f = std::fopen(logFile_.c_str(), "ab+")) {
        std::fprintf(f, "%s\t%lld\t%lld\t%lld\r\n", name_.c_str(), static_cast<long long>(count_),
            static_cast<long long>(elapsed_), static_cast<long long>(elapsed_ * 1000 / 1000));
        std::fclose(f);
    }
}

void clsTimer::Stop()
{
    elapsed_ += Tick() - start_;
}

} // namespace dranbase
