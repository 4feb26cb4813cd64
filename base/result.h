#pragma once
// A value or the reason there is none. Each subsystem has its own error enum (a scoped enum whose
// zero value, None, means success) and a function naming its text; results carry them beside the
// value, so nothing is thrown inside the core and no error state is global.

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

namespace gw {

template <typename E>
struct Unexpected {
    E error;
};

// Marks an error value for a Result's constructor: `return Fail(ImageError::Truncated);`.
template <typename E>
constexpr Unexpected<E> Fail(E error) {
    return {error};
}

template <typename T, typename E>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    Result(Unexpected<E> u) : error_(u.error) { assert(error_ != E{}); }

    bool has_value() const { return value_.has_value(); }
    explicit operator bool() const { return has_value(); }
    E error() const { return error_; }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T value_or(T other) const& { return value_ ? *value_ : std::move(other); }

  private:
    std::optional<T> value_;
    E error_{};
};

}  // namespace gw
