#pragma once
// The outcome of an operation that can fail: its value, or one line that says why it failed.
// Every subsystem reports failures this way (no exception leaves a public function): the
// caller tests it, passes it on, or turns the reason into its own message.
//
//     Result<std::string> text = readWholeFile(path);
//     if (!text) return Failure{"the settings cannot be read: " + text.error()};
//
// `Status` is a Result without a value. Both are [[nodiscard]]: a failure cannot be dropped
// silently; write `(void)` with a comment where ignoring one is really meant.

#include <concepts>
#include <string>
#include <utility>
#include <variant>

// Why an operation failed: one line for a person, without a line break. Which language the
// text is in is the producer's contract (the subsystems write English; the front ends add the
// Japanese context).
struct Failure {
    std::string reason;
};

// "what: the system's text for `errnum`", thread-safe (unlike std::strerror).
Failure systemFailure(const std::string& what, int errnum);
// The system's text for `errnum`, thread-safe.
std::string systemErrorText(int errnum);

template <class T>
class [[nodiscard]] Result {
public:
    template <class U = T>
    requires std::constructible_from<T, U&&> &&
        (!std::same_as<std::remove_cvref_t<U>, Failure>)Result(U&& value)
        : state_(std::in_place_index<0>, std::forward<U>(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // The value; only when ok().
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    template <class U>
    T value_or(U&& fallback) const& {
        return ok() ? value() : static_cast<T>(std::forward<U>(fallback));
    }

    // Why it failed; only when !ok().
    const std::string& error() const { return std::get<1>(state_).reason; }
    // The failure itself, to pass it on from a function of another result type.
    Failure failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failed_(true), reason_(std::move(failure.reason)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return reason_; }
    Failure failure() const { return Failure{reason_}; }

private:
    bool failed_ = false;
    std::string reason_;
};

using Status = Result<void>;
