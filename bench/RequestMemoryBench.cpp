// Peak memory of one large request through the plug-in, against its size.
//
//   vesk_memory_bench SHAPE MIB   one request of MIB MiB (a whole number of
//                                 bytes: MIB * 1048576, envelope included),
//                                 prints "SHAPE MIB peak-above-baseline ratio"
//   vesk_memory_bench [--check]   every shape at 1, 2 and 4 MiB, each in a
//                                 process of its own; --check fails when a
//                                 ratio exceeds the bound
//
// The baseline is the process's resident size once the request text is built
// (the host holds its request); the peak is VmHWM after the call, with the
// peak reset to the baseline just before it (/proc/self/clear_refs).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "dispatch/plugin.h"
#include "host/Failure.h"
#include "host/XmlElement.h"
#include "platform/sim/SimPlatform.h"

namespace {

constexpr double kBound = 10.0;

// Appends copies of `unit(i)` to `out` until `size` bytes would be exceeded,
// then fills the rest with `filler` (a byte that keeps the text well-formed
// where it lands).
void Repeat(std::string& out, std::size_t size, const std::function<std::string(std::size_t)>& unit) {
  for (std::size_t i = 0;; ++i) {
    const std::string next = unit(i);
    if (out.size() + next.size() > size) return;
    out += next;
  }
}

// An attribute name from a counter: a letter, then base-36 digits.
std::string AttributeName(std::size_t i) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name(1, static_cast<char>('a' + i % 26));
  for (i /= 26; i > 0; i /= 36) name += kDigits[i % 36];
  return name;
}

struct Shape {
  const char* name;
  // Writes the content of the params element, about `size` bytes.
  std::function<void(std::string& out, std::size_t size)> fill;
};

const std::vector<Shape>& Shapes() {
  static const std::vector<Shape> shapes = {
      {"empty-elements", [](std::string& out, std::size_t size) { Repeat(out, size, [](std::size_t) { return "<a/>"; }); }},
      {"text-and-elements",
       [](std::string& out, std::size_t size) { Repeat(out, size, [](std::size_t) { return "x<a/>"; }); }},
      {"attribute-rows",  // elements of 26 one-letter attributes
       [](std::string& out, std::size_t size) {
         std::string row = "<e";
         for (char c = 'a'; c <= 'z'; ++c) row += std::string(" ") + c + "=\"\"";
         row += "/>";
         Repeat(out, size, [&](std::size_t) { return row; });
       }},
      {"one-tag-of-attributes",
       [](std::string& out, std::size_t size) {
         out += "<e";
         Repeat(out, size - 3, [](std::size_t i) { return " " + AttributeName(i) + "=\"\""; });
         out += "/>";
       }},
      {"deep-nesting",  // chains down to the depth limit (params is at depth 2)
       [](std::string& out, std::size_t size) {
         std::string chain;
         for (int i = 2; i < vesk::XmlElement::kMaxDepth; ++i) chain += "<a>";
         for (int i = 2; i < vesk::XmlElement::kMaxDepth; ++i) chain += "</a>";
         Repeat(out, size, [&](std::size_t) { return chain; });
       }},
      {"long-text", [](std::string& out, std::size_t size) { out.append(size - out.size(), 'x'); }},
      {"text-of-references",
       [](std::string& out, std::size_t size) { Repeat(out, size, [](std::size_t) { return "&lt;"; }); }},
  };
  return shapes;
}

// A request of exactly `size` bytes of the given shape.
std::string BuildRequest(const Shape& shape, std::size_t size) {
  const std::string head = "<request><plugin>StartProgram</plugin><method>GetName</method><params>";
  const std::string tail = "</params></request>";
  std::string request = head;
  request.reserve(size);
  shape.fill(request, size - tail.size());
  // Pads to the exact size with blanks, which the params element may hold.
  request.append(size - tail.size() - request.size(), ' ');
  return request + tail;
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::string(field).size(), nullptr, 10);
  }
  return -1;
}

int MeasureOne(const Shape& shape, int mib) {
  vesk::platform::sim::InstalledSimPlatform sim;
  vesk::plugin entry;
  entry.MethodCall("<r><plugin>StartProgram</plugin><method>GetName</method><params/></r>");  // warm up
  const std::size_t size = static_cast<std::size_t>(mib) << 20;
  const std::string request = BuildRequest(shape, size);
  if (request.size() != size) {
    std::fprintf(stderr, "%s: built %zu bytes, not %zu\n", shape.name, request.size(), size);
    return 2;
  }
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
  const long baseline = StatusKiB("VmRSS:");
  if (StatusKiB("VmHWM:") > baseline + 64) {
    std::fprintf(stderr, "cannot reset the peak resident size (/proc/self/clear_refs)\n");
    return 2;
  }
  try {
    const std::string reply = entry.MethodCall(request);
    if (reply.find("<name>") == std::string::npos) std::fprintf(stderr, "%s: reply %s\n", shape.name, reply.c_str());
  } catch (const vesk::Failure& failure) {
    std::fprintf(stderr, "%s: failed %d: %s\n", shape.name, failure.number(), failure.description().c_str());
    return 2;
  }
  const long peak = StatusKiB("VmHWM:");
  const double above = static_cast<double>(peak - baseline) * 1024.0;
  std::printf("%-22s %d MiB  peak above baseline %8.1f MiB  ratio %5.2f\n", shape.name, mib, above / (1 << 20),
              above / static_cast<double>(size));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) {
    for (const Shape& shape : Shapes()) {
      if (shape.name == std::string(argv[1])) return MeasureOne(shape, std::atoi(argv[2]));
    }
    std::fprintf(stderr, "unknown shape %s\n", argv[1]);
    return 2;
  }
  const bool check = argc == 2 && argv[1] == std::string("--check");
  std::printf("limit %zu bytes; bound %.0fx the request above the host's baseline\n", vesk::XmlElement::kMaxTextSize,
              kBound);
  bool met = true;
  double worst = 0;
  for (const Shape& shape : Shapes()) {
    for (const int mib : {1, 2, 4}) {
      const std::string command = std::string(argv[0]) + " " + shape.name + " " + std::to_string(mib);
      FILE* pipe = popen(command.c_str(), "r");
      char line[256] = {};
      const bool read = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
      const int status = pipe != nullptr ? pclose(pipe) : -1;
      if (!read || status != 0) {
        std::printf("%s %d MiB: the measurement failed\n", shape.name, mib);
        met = false;
        continue;
      }
      std::fputs(line, stdout);
      const char* ratio = std::strstr(line, "ratio");
      const double value = ratio != nullptr ? std::atof(ratio + 5) : 1e9;
      worst = std::max(worst, value);
      if (value > kBound) met = false;
    }
  }
  std::printf("worst ratio %.2f (bound %.0f): %s\n", worst, kBound, met ? "met" : "MISSED");
  return check && !met ? 1 : 0;
}
