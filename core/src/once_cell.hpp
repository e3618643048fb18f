// A process-wide cell written at most once; the first value wins and is never
// reset. Readers after the write need no lock.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

namespace orv {

template <typename T>
class OnceCell {
public:
    // Stores value unless the cell already holds one. Returns whether this
    // call stored it.
    bool set(T value) {
        bool stored = false;
        std::call_once(once_, [&] {
            value_.emplace(std::move(value));
            ready_.store(true, std::memory_order_release);
            stored = true;
        });
        return stored;
    }

    // The value, or null while the cell is empty.
    const T* get() const {
        return ready_.load(std::memory_order_acquire) ? &*value_ : nullptr;
    }

    // The value, computing it with make() on first use. Concurrent first
    // callers wait for the one computation and share its result.
    template <typename F>
    const T& get_or_init(F&& make) {
        std::call_once(once_, [&] {
            value_.emplace(std::forward<F>(make)());
            ready_.store(true, std::memory_order_release);
        });
        return *value_;
    }

private:
    std::once_flag once_;
    std::atomic<bool> ready_{false};
    std::optional<T> value_;
};

}  // namespace orv
