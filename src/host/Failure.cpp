#include "host/Failure.h"

#include <new>
#include <stdexcept>
#include <utility>

#include "host/ErrorNumbers.h"

namespace vesk {

Failure::Failure(int number, std::string source, std::string description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {}

void RethrowAsFailure(const char* source) {
  try {
    throw;
  } catch (const Failure&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw Failure(errors::kOutOfMemory, source, "Out of memory");
  } catch (const std::length_error&) {
    throw Failure(errors::kOutOfMemory, source, "Out of memory");
  } catch (const std::out_of_range& e) {
    throw Failure(errors::kIndexOutOfRange, source, std::string("Subscript out of range: ") + e.what());
  } catch (const std::overflow_error& e) {
    throw Failure(errors::kOverflow, source, std::string("Overflow: ") + e.what());
  } catch (const std::exception& e) {
    throw Failure(errors::kInvalidArgument, source, e.what());
  } catch (...) {
    throw Failure(errors::kInvalidArgument, source, "Unexpected failure");
  }
}

}  // namespace vesk
