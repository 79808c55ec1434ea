#pragma once

namespace vesk::host_app {

// The calling thread's membership of a single-threaded COM apartment, as a
// host that shows controls holds it: joined when created, left when destroyed.
// Joining fails with errors::kCannotCreateObject.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

}  // namespace vesk::host_app
