#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace kelpie {

// The error half of a Result: one of the operation's own cases, plus the
// system's own words where the cause lies outside Kelpie (kept for logs and
// tests; user-facing messages are made from `code` alone, in one place per
// subsystem).
template<typename Code> struct Failure {
    Code code;
    std::string detail;

    friend bool operator==(const Failure&, const Failure&) = default;
};

// What every operation that can fail across a subsystem boundary returns:
// either its value or a Failure of its own error enumeration. Operations with
// nothing to return use Status. Cancellation is not a failure: asynchronous
// operations end a canceled QFuture without a result instead.
template<typename T, typename Code> class [[nodiscard]] Result {
public:
    using Value = T;
    using Error = Code;

    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) { }
    Result(Failure<Code> failure) : m_state(std::in_place_index<1>, std::move(failure)) { }
    Result(Code code, std::string detail = {})
        : m_state(std::in_place_index<1>, Failure<Code>{code, std::move(detail)})
    {
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T& value() const& { return std::get<0>(m_state); }
    T& value() & { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }

    // Only when !ok().
    const Failure<Code>& failure() const { return std::get<1>(m_state); }
    Code error() const { return failure().code; }

    friend bool operator==(const Result&, const Result&) = default;

private:
    std::variant<T, Failure<Code>> m_state;
};

// The value of an operation that only succeeds or fails.
struct Done {
    friend bool operator==(Done, Done) = default;
};

template<typename Code> using Status = Result<Done, Code>;

} // namespace kelpie
