#pragma once
// Containers guarded by their own mutex, safe to share between threads.

#include <deque>
#include <mutex>
#include <string>

namespace dranbase {

// A FIFO of strings.
class clsProtectedStrings {
public:
    void Add(std::string text)
    {
        std::lock_guard lock(m_);
        items_.push_back(std::move(text));
    }
    // Removes and returns the first string; empty when there is none.
    std::string PopFirst()
    {
        std::lock_guard lock(m_);
        if (items_.empty()) return {};
        std::string s = std::move(items_.front());
        items_.pop_front();
        return s;
    }
    // Removes and returns the last string; empty when there is none.
    std::string PopLast()
    {
        std::lock_guard lock(m_);
        if (items_.empty()) return {};
        std::string s = std::move(items_.back());
        items_.pop_back();
        return s;
    }
    std::size_t Count() const
    {
        std::lock_guard lock(m_);
        return items_.size();
    }
    void Clear()
    {
        std::lock_guard lock(m_);
        items_.clear();
    }

private:
    mutable std::mutex m_;
    std::deque<std::string> items_;
};

// One value under its own mutex; Get returns a copy.
template <class T> class clsProtected {
public:
    void Set(T value)
    {
        std::lock_guard lock(m_);
        value_ = std::move(value);
    }
    T Get() const
    {
        std::lock_guard lock(m_);
        return value_;
    }

private:
    mutable std::mutex m_;
    T value_ {};
};

} // namespace dranbase
