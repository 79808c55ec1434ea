#pragma once

#include <thread>
#include <utility>

namespace vesk::test {

// Runs `body` on a new thread and waits for it. Each run then starts with
// no per-thread state (owner windows, installed platform), so that runs of
// the same request make the same calls and allocations.
template <class Body>
void OnFreshThread(Body&& body) {
  std::thread thread(std::forward<Body>(body));
  thread.join();
}

}  // namespace vesk::test
