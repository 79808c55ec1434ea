#pragma once

#include <string>
#include <utility>
#include <variant>

namespace vesk::platform::linux_backend {

// Why a one-shot call failed: words that follow the caller's subject, and the
// errno behind them when the caller may need to tell failures apart (0 when none).
struct Problem {
  std::string text;
  int error = 0;
};

// What a one-shot backend call gives back: its value, or the Problem that stopped it.
// Objects that stay connected and can break later keep their own problem() instead.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}        // a success holding `value`
  Result(Problem problem) : state_(std::in_place_index<1>, std::move(problem)) {}  // a failure
  static Result Fail(std::string text, int error = 0) { return Problem{std::move(text), error}; }  // a failure

  bool ok() const { return state_.index() == 0; }           // holds a value
  explicit operator bool() const { return ok(); }           // the same as ok()
  T& value() { return std::get<0>(state_); }                // the value; only when ok()
  const T& value() const { return std::get<0>(state_); }    // the value; only when ok()
  T& operator*() { return value(); }                        // the value; only when ok()
  const T& operator*() const { return value(); }            // the value; only when ok()
  T* operator->() { return &value(); }                      // the value's members; only when ok()
  const T* operator->() const { return &value(); }          // the value's members; only when ok()
  const std::string& problem() const { return ok() ? kNone : std::get<1>(state_).text; }  // why not; "" when ok()
  int error() const { return ok() ? 0 : std::get<1>(state_).error; }                   // its errno, or 0

 private:
  static inline const std::string kNone;
  std::variant<T, Problem> state_;
};

// A call that gives nothing back but may fail; default-constructed it is done.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;                                                // done
  Result(Problem problem) : problem_(std::move(problem)), failed_(true) {}  // a failure
  static Result Fail(std::string text, int error = 0) { return Problem{std::move(text), error}; }  // a failure

  bool ok() const { return !failed_; }                          // it was done
  explicit operator bool() const { return ok(); }               // the same as ok()
  const std::string& problem() const { return problem_.text; }  // why not; "" when ok()
  int error() const { return problem_.error; }                  // its errno, or 0

 private:
  Problem problem_;
  bool failed_ = false;
};

using Done = Result<void>;

}  // namespace vesk::platform::linux_backend
