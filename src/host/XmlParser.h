#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
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

  // Parses the whole text and returns the root element.
  XmlNode* Parse();

  // A name by XML 1.0 (fifth edition) rules.
  static bool IsName(std::string_view name);
  // Valid UTF-8 holding only characters that XML 1.0 allows.
  static bool IsText(std::string_view text);

 private:
  struct Open {
    XmlNode* node;
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
  XmlDocument::TextBuilder TextRun() { return document_.TextRun(*open_.back().node); }

  void ParseDeclaration();
  void ParseMisc(bool after_root);
  void SkipComment();
  void SkipProcessingInstruction();
  void ParseStartTag();
  // The rest of a start tag whose name is not followed by '>' at once.
  void ParseStartTagRest(XmlNode& node, std::size_t start);
  void ParseAttribute(XmlNode& node);
  void CheckDuplicate(std::string_view name, std::size_t at);
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
  XmlNode* root_ = nullptr;
  OpenElements open_;
  std::vector<std::string_view> tag_attributes_;        // names in the current start tag
  std::unordered_set<std::string_view> attribute_set_;  // the same, once there are many
};

}  // namespace vesk
