// A value or an error, for failures that travel as values inside the core.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace orv {

template <typename E>
struct Unexpected {
    E error;
};

template <typename E>
Unexpected<std::decay_t<E>> fail(E&& e) {
    return {std::forward<E>(e)};
}

template <typename T, typename E = std::string>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    template <typename G>
    Result(Unexpected<G> e) : v_(std::in_place_index<1>, E(std::move(e.error))) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const { return std::get<1>(v_); }

private:
    std::variant<T, E> v_;
};

// An operating-system level failure: the run or the file operation could not
// take place. The text is what callers show after their own prefix.
struct IoError {
    std::string message;
};

}  // namespace orv
