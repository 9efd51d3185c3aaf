#pragma once
// Results instead of exceptions across the platform layer: a value or an error that says what
// went wrong. Error::status carries a Mac OS error code when the caller needs one to pass on, or
// to tell one failure from another (-904: a name is served by another process already).
//
// Nothing here throws: asking an error for its value is a programming fault, and ends the
// process with the error's message.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

struct Error {
    std::string message;
    int status = -1;  // a Mac OS error code (-43, -108, -600, -904, -4960, ...) or -1
};

namespace detail {

// A value asked of a failed result, or an error of a successful one (then error is null).
[[noreturn]] inline void misused_result(const Error* error) noexcept {
    if (error) {
        std::fprintf(stderr, "fatal: the value of a failed result was asked for: %s (status %d)\n",
                     error->message.c_str(), error->status);
    } else {
        std::fputs("fatal: the error of a successful result was asked for\n", stderr);
    }
    std::abort();
}

}  // namespace detail

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value)
        : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return *checked(); }
    const T& value() const& { return *checked(); }
    T&& value() && { return std::move(*checked()); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    // Only for a failed result; a successful one has no error to give.
    const Error& error() const {
        if (const auto* failed = std::get_if<1>(&state_)) return *failed;
        detail::misused_result(nullptr);
    }

private:
    T* checked() {
        if (auto* held = std::get_if<0>(&state_)) return held;
        detail::misused_result(std::get_if<1>(&state_));
    }
    const T* checked() const {
        if (const auto* held = std::get_if<0>(&state_)) return held;
        detail::misused_result(std::get_if<1>(&state_));
    }

    std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)), ok_(false) {}  // NOLINT: implicit by design

    bool ok() const noexcept { return ok_; }
    explicit operator bool() const noexcept { return ok_; }
    const Error& error() const { return error_; }

private:
    Error error_;
    bool ok_ = true;
};

}  // namespace platform
