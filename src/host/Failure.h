#pragma once

#include <exception>
#include <string>

namespace vesk {

// The one failure type of the library: a number (see ErrorNumbers.h), the
// class or module that raised it, and a description for the user.
class Failure : public std::exception {
 public:
  Failure(int number, std::string source, std::string description);

  int number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int number_;
  std::string source_;
  std::string description_;
};

// Runs `body` and turns anything it throws that is not a Failure (out of
// memory, a standard-library length error, ...) into one raised by `source`.
// Every public entry of the library goes through this, so only Failure leaves.
template <class Body>
auto WithFailures(const char* source, Body&& body) -> decltype(body());

// Converts the exception being handled into a Failure; used by WithFailures.
[[noreturn]] void RethrowAsFailure(const char* source);

template <class Body>
auto WithFailures(const char* source, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const Failure&) {
    throw;
  } catch (...) {
    RethrowAsFailure(source);
  }
}

}  // namespace vesk
