#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace vesk::test {

// Makes XML documents from a fixed seed, so every run sees the same ones:
// well-formed documents with random trees (names, attributes, texts with
// entities and character references, CDATA, comments, processing
// instructions, a declaration and a byte order mark now and then), and
// mutations of them that usually break well-formedness.
class XmlDocumentGenerator {
 public:
  explicit XmlDocumentGenerator(std::uint32_t seed) : random_(seed) {}

  // A well-formed document.
  std::string Document();

  // `document` changed in one random way; `label` says how.
  std::string Mutate(const std::string& document, std::string& label);

 private:
  std::size_t Below(std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_); }
  template <std::size_t N>
  const char* Pick(const char* const (&choices)[N]) {
    return choices[Below(N)];
  }
  void Element(std::string& out, int depth);
  std::string AttributeValue(char quote);
  std::string Text();
  std::string Misc();

  std::mt19937 random_;
};

}  // namespace vesk::test
