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

using vesk::XmlId;

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "fuzz_xml_element: %s\n", what);
  std::abort();
}

// Walks both trees side by side without recursion (the depth is the parser's
// limit, but the stack of the fuzzer's thread need not know that).
bool SameTree(const vesk::XmlDocument& left_document, XmlId left, const vesk::XmlDocument& right_document,
              XmlId right) {
  std::vector<std::pair<XmlId, XmlId>> pending{{left, right}};
  while (!pending.empty()) {
    const auto [a, b] = pending.back();
    pending.pop_back();
    const vesk::XmlNode& x = left_document.node(a);
    const vesk::XmlNode& y = right_document.node(b);
    if (x.is_text() != y.is_text() || left_document.Text(x) != right_document.Text(y)) return false;
    if (x.is_text() && x.size() == 0) return false;  // runs are never empty
    XmlId p = left_document.FirstAttribute(a);
    XmlId q = right_document.FirstAttribute(b);
    for (; p != 0 && q != 0; p = left_document.NextAttribute(p), q = right_document.NextAttribute(q)) {
      const vesk::XmlAttribute& s = left_document.attribute(p);
      const vesk::XmlAttribute& t = right_document.attribute(q);
      if (left_document.Name(s) != right_document.Name(t) || left_document.Value(s) != right_document.Value(t)) {
        return false;
      }
    }
    if (p != 0 || q != 0) return false;
    if (x.is_text()) continue;
    XmlId i = x.first_child;
    XmlId j = y.first_child;
    for (; i != 0 && j != 0; i = left_document.node(i).next_sibling, j = right_document.node(j).next_sibling) {
      pending.emplace_back(i, j);
    }
    if (i != 0 || j != 0) return false;
  }
  return true;
}

// The parser's tree for `text`, or 0 when it is not well-formed.
XmlId Parse(const std::string& text, vesk::XmlDocument& document) {
  try {
    return vesk::XmlParser(text, document).Parse();
  } catch (const vesk::Failure& failure) {
    if (failure.number() != vesk::errors::kXmlParse) Finding("parser failed with another number");
    if (failure.description().rfind("XML parse error at line ", 0) != 0) Finding("parse failure without position");
    return 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vesk::XmlDocument original;
  const XmlId tree = Parse(text, original);

  const vesk::XmlElement factory;
  vesk::XmlElement element;
  try {
    element = factory.LoadXml(text);
  } catch (const vesk::Failure& failure) {
    if (tree != 0) Finding("LoadXml rejects what the parser accepts");
    if (failure.number() != vesk::errors::kXmlParse || failure.source() != "XmlElement") {
      Finding("LoadXml failed with another number or source");
    }
    return 0;
  }
  if (tree == 0) Finding("LoadXml accepts what the parser rejects");

  const std::string written = element.GetXml();
  vesk::XmlDocument reread;
  const XmlId copy = Parse(written, reread);
  if (copy == 0) Finding("GetXml wrote text that does not parse");
  if (!SameTree(original, tree, reread, copy)) Finding("GetXml -> LoadXml changed the tree");
  if (factory.LoadXml(written).GetXml() != written) Finding("second GetXml differs from the first");
  return 0;
}
