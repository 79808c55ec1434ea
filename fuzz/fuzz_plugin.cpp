// Fuzzes the library's entry object on the simulated platform: a request
// either gives a reply or fails with a vesk::Failure that names its source
// and says what went wrong. Anything else escaping, a crash, a leak or
// undefined behaviour is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <typeinfo>

#include "dispatch/plugin.h"
#include "host/Failure.h"
#include "platform/sim/SimPlatform.h"

namespace {

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "fuzz_plugin: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string request(reinterpret_cast<const char*>(data), size);
  vesk::platform::sim::InstalledSimPlatform sim;  // fresh per input: no state carries over
  vesk::plugin entry;
  try {
    entry.MethodCall(request);
  } catch (const vesk::Failure& failure) {
    if (failure.number() <= 0 || failure.source().empty() || failure.description().empty()) {
      Finding("a failure without number, source or description");
    }
  } catch (const std::exception& other) {
    std::fprintf(stderr, "fuzz_plugin: %s escaped: %s\n", typeid(other).name(), other.what());
    std::abort();
  } catch (...) {
    Finding("something that is not an exception escaped");
  }
  return 0;
}
