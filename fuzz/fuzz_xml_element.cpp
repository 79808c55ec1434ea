// Fuzzes the XML element's parser and its round trip: any input either fails
// with errors::kXmlParse or parses, and then what GetXml writes reads back
// into the same tree with the same texts, and writes the same text again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "host/XmlDocument.h"
#include "host/XmlElement.h"
#include "host/XmlParser.h"

namespace {

using vesk::XmlNode;

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "fuzz_xml_element: %s\n", what);
  std::abort();
}

// Walks both trees side by side without recursion (the depth is the parser's
// limit, but the stack of the fuzzer's thread need not know that).
bool SameTree(const XmlNode& left, const XmlNode& right) {
  std::vector<std::pair<const XmlNode*, const XmlNode*>> pending{{&left, &right}};
  while (!pending.empty()) {
    const auto [a, b] = pending.back();
    pending.pop_back();
    if (a->name != b->name || a->text != b->text) return false;
    if (a->is_text() && a->text.empty()) return false;  // runs are never empty
    const vesk::XmlAttribute* p = a->first_attribute;
    const vesk::XmlAttribute* q = b->first_attribute;
    for (; p != nullptr && q != nullptr; p = p->next, q = q->next) {
      if (p->name != q->name || p->value != q->value) return false;
    }
    if (p != nullptr || q != nullptr) return false;
    const XmlNode* x = a->first_child;
    const XmlNode* y = b->first_child;
    for (; x != nullptr && y != nullptr; x = x->next_sibling, y = y->next_sibling) pending.emplace_back(x, y);
    if (x != nullptr || y != nullptr) return false;
  }
  return true;
}

// The parser's tree for `text`, or nullptr when it is not well-formed.
const XmlNode* Parse(const std::string& text, vesk::XmlDocument& document) {
  try {
    return vesk::XmlParser(text, document).Parse();
  } catch (const vesk::Failure& failure) {
    if (failure.number() != vesk::errors::kXmlParse) Finding("parser failed with another number");
    if (failure.description().rfind("XML parse error at line ", 0) != 0) Finding("parse failure without position");
    return nullptr;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vesk::XmlDocument original;
  const XmlNode* tree = Parse(text, original);

  const vesk::XmlElement factory;
  vesk::XmlElement element;
  try {
    element = factory.LoadXml(text);
  } catch (const vesk::Failure& failure) {
    if (tree != nullptr) Finding("LoadXml rejects what the parser accepts");
    if (failure.number() != vesk::errors::kXmlParse || failure.source() != "XmlElement") {
      Finding("LoadXml failed with another number or source");
    }
    return 0;
  }
  if (tree == nullptr) Finding("LoadXml accepts what the parser rejects");

  const std::string written = element.GetXml();
  vesk::XmlDocument reread;
  const XmlNode* copy = Parse(written, reread);
  if (copy == nullptr) Finding("GetXml wrote text that does not parse");
  if (!SameTree(*tree, *copy)) Finding("GetXml -> LoadXml changed the tree");
  if (factory.LoadXml(written).GetXml() != written) Finding("second GetXml differs from the first");
  return 0;
}
