#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/XmlDocument.h"

namespace vesk {

// Parses one XML text (UTF-8) into a document, without recursion and in time
// linear in the input. Failures are errors::kXmlParse with a description
// "XML parse error at line L, column C: what" (1-based, columns in characters).
class XmlParser {
 public:
  // Elements nest at most this deep.
  static constexpr int kMaxDepth = 256;

  XmlParser(std::string_view text, XmlDocument& document);

  // Parses the whole text and returns the root element. `text` must stay
  // as it is until then.
  XmlId Parse();

  // A name by XML 1.0 (fifth edition) rules.
  static bool IsName(std::string_view name);
  // Valid UTF-8 holding only characters that XML 1.0 allows.
  static bool IsText(std::string_view text);

 private:
  struct Open {
    XmlId node;
    XmlId last_child;   // 0 while it has none
    std::size_t start;  // offset of the start tag's '<'
  };

  // The open elements, innermost last. Bounded by the depth limit, so it
  // lives in the parser itself: no allocation, and no per-thread scratch
  // (the MinGW runtime frees thread-local storage before it destroys the
  // objects in it, so a thread-local vector corrupts the heap at thread exit).
  class OpenElements {
   public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    Open& back() { return items_[size_ - 1]; }
    const Open& back() const { return items_[size_ - 1]; }
    void push_back(Open open) { items_[size_++] = open; }  // the depth check comes first
    void pop_back() { --size_; }

   private:
    std::array<Open, kMaxDepth> items_;  // left uninitialised: only [0, size_) is read
    std::size_t size_ = 0;
  };

  [[noreturn, gnu::cold, gnu::noinline]] void Fail(std::size_t at, std::string_view what) const;
  // Fails at the current position, preferring a more precise reason than
  // `what` when the input there ends, is not UTF-8 or is a forbidden character.
  [[noreturn, gnu::cold, gnu::noinline]] void Unexpected(const char* what) const;
  // Fails at the innermost open element's start tag: the input ended inside it.
  [[noreturn, gnu::cold, gnu::noinline]] void FailNotClosed() const;

  // Compared in place: the parser asks this for every piece of markup.
  template <std::size_t N>
  bool StartsWith(const char (&prefix)[N]) const {
    if (pos_ > text_.size() || text_.size() - pos_ < N - 1) return false;
    for (std::size_t i = 0; i + 1 < N; ++i) {
      if (text_[pos_ + i] != prefix[i]) return false;
    }
    return true;
  }
  // Skips blanks; true when there were any. Inline for the usual "none".
  bool SkipSpace() {
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    return (c == ' ' || c == '\t' || c == '\n' || c == '\r') && SkipMoreSpace();
  }
  bool SkipMoreSpace();
  std::string_view ParseName();
  // Steps over the character at pos_ (a lead byte of 0x80 or more): fails
  // unless it is valid UTF-8 for a character XML allows.
  void SkipMultibyteChar();
  void CheckChars(std::size_t from, std::size_t to, XmlDocument::TextBuilder* out);
  // The run of text that ends the open element's content, added when there is none.
  XmlDocument::TextBuilder TextRun();
  // The open element's name (a view of the text).
  std::string_view OpenName() const {
    const XmlNode& node = document_.node(open_.back().node);
    return text_.substr(node.chars, node.size());
  }

  void ParseDeclaration();
  void ParseMisc(bool after_root);
  void SkipComment();
  void SkipProcessingInstruction();
  void ParseStartTag();
  // The rest of a start tag whose name is not followed by '>' at once.
  void ParseStartTagRest(XmlId node, std::size_t start);
  void ParseAttribute(XmlId node);
  // Fails when the tag of `node` already has an attribute `name` (at `at`).
  void CheckDuplicate(XmlId node, std::string_view name, std::size_t at);
  std::string_view AttributeName(XmlId id) const {
    const XmlAttribute& attribute = document_.attribute(id);
    return text_.substr(attribute.name, attribute.name_length & ~XmlAttribute::kLast);
  }
  void ParseEndTag();
  // An end tag that is not the open element's name followed by '>' at once.
  [[gnu::noinline]] void ParseOtherEndTag();
  void ParseText();
  void ParseCData();
  void ParseReference(XmlDocument::TextBuilder& out);

  std::string_view text_;
  XmlDocument& document_;
  std::size_t pos_ = 0;
  std::size_t origin_ = 0;  // where line 1, column 1 is (after a byte order mark)
  XmlId root_ = 0;
  OpenElements open_;
  std::uint32_t tag_attributes_ = 0;      // how many the current start tag has so far
  std::vector<XmlId> attribute_table_;    // the same by name hash, once there are many (0: free)
};

}  // namespace vesk
