#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vesk {

class XmlDocument;

// The host's XML element: a small, cheaply copied handle into a document that
// owns the nodes. Three states:
//  - fresh: a default-constructed object; it only serves as a factory
//    (LoadXml, CreateElement); every other operation fails with 91;
//  - element: refers to a node;
//  - empty: what GetElement gives for a missing child; every operation fails
//    with 91 (errors::kEmptyElement).
// Failures are vesk::Failure with source "XmlElement".
class XmlElement {
 public:
  XmlElement();

  // Parses `xml_text` and returns its root element. Accepts elements,
  // attributes, text, the five predefined entities, numeric character
  // references, CDATA, comments and processing instructions (skipped) and an
  // XML declaration. Anything else fails with errors::kXmlParse, naming what
  // went wrong and where (line and column). Nesting is limited to kMaxDepth.
  // A text longer than kMaxTextSize fails with 7 (out of memory) before any
  // of it is read. `option` is accepted and ignored.
  XmlElement LoadXml(std::string_view xml_text, std::string_view option = {}) const;

  // A new element `name` (a valid XML name, else 5) with `text` as content.
  XmlElement CreateElement(std::string_view name, std::string_view text = {}) const;

  // The element as XML text: no declaration, no added whitespace, an element
  // without content written as <name/>. LoadXml of it gives the same tree
  // with the same texts and attributes.
  std::string GetXml() const;

  // The `index`-th direct child named `name` (0 is the first); an empty
  // element when there is none (as for a name that is not a valid XML name).
  // A negative index fails with 5.
  XmlElement GetElement(std::string_view name, int index, std::string_view option = {}) const;

  // The text of the child chosen as for GetElement (the concatenation of its
  // own text and CDATA, not its descendants'); "" when there is no such child.
  std::string GetElementText(std::string_view name, int index, std::string_view option = {}) const;

  // Adds a copy of `element` (with its subtree) as the last child.
  void AppendElement(const XmlElement& element);

  // Adds a new last child `name` holding `text`.
  void AddElement(std::string_view name, std::string_view text);

  // True for the empty element that GetElement gives for a missing child.
  bool IsEmpty() const noexcept;

  // Nesting deeper than this is a parse failure (and an AppendElement that
  // would exceed it fails with 5).
  static constexpr int kMaxDepth = 256;

  // The longest text LoadXml reads, in bytes (4 MiB). Hosts send kilobytes;
  // the limit bounds the memory one request can take.
  static constexpr std::size_t kMaxTextSize = std::size_t{4} << 20;

 private:
  enum class State { kFresh, kElement, kEmpty };
  XmlElement(State state, std::shared_ptr<XmlDocument> document, std::uint32_t node, int depth);
  // Fail with 91 unless the object refers to an element / is not empty.
  void RequireElement() const;
  void RequireFactory() const;

  State state_;
  std::shared_ptr<XmlDocument> document_;
  std::uint32_t node_;  // its number in the document
  int depth_;           // 1 for an element without parent
};

}  // namespace vesk
