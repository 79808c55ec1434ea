#include "host/XmlElement.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "host/XmlDocument.h"
#include "host/XmlParser.h"

namespace vesk {

static_assert(XmlElement::kMaxDepth == XmlParser::kMaxDepth, "what is built and what is read nest alike");

namespace {

constexpr const char* kSource = "XmlElement";

[[noreturn]] void Fail(int number, const std::string& description) { throw Failure(number, kSource, description); }

void CheckName(std::string_view name) {
  if (XmlParser::IsName(name)) return;
  Fail(errors::kInvalidArgument,
       XmlParser::IsText(name) ? "'" + std::string(name) + "' is not a valid XML element name" : "Invalid XML element name");
}

void CheckText(std::string_view text) {
  if (!XmlParser::IsText(text)) {
    Fail(errors::kInvalidArgument, "Text is not valid UTF-8 or holds a character that XML does not allow");
  }
}

[[noreturn, gnu::cold, gnu::noinline]] void FailTooLong(std::size_t size) {
  Fail(errors::kOutOfMemory, "The XML text is " + std::to_string(size) + " bytes long, more than the limit of " +
                                 std::to_string(XmlElement::kMaxTextSize) + " bytes");
}

[[noreturn, gnu::noinline]] void FailNegativeIndex(int index) {
  Fail(errors::kInvalidArgument, "Negative index " + std::to_string(index));
}

XmlNode* FindChild(const XmlNode& parent, std::string_view name, int index) {
  if (index < 0) FailNegativeIndex(index);
  // An invalid name matches no child, so it needs no check of its own.
  for (XmlNode* child = parent.first_child; child != nullptr; child = child->next_sibling) {
    if (child->name.size() == name.size() && SameChars(child->name.data(), name.data(), name.size()) &&
        index-- == 0) {
      return child;
    }
  }
  return nullptr;
}

// Hands out the memory of documents and keeps a few freed blocks per thread
// for the next ones: a request builds and drops several small documents, and
// reusing their blocks keeps them off the heap.
template <class T>
class RecyclingAllocator {
 public:
  using value_type = T;
  RecyclingAllocator() = default;
  template <class U>
  RecyclingAllocator(const RecyclingAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if constexpr (kKept > 0) {
      if (Blocks* kept = Kept(); n == 1 && kept != nullptr && kept->count > 0) {
        return static_cast<T*>(kept->blocks[--kept->count]);
      }
    }
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if constexpr (kKept > 0) {
      if (Blocks* kept = Kept(); n == 1 && kept != nullptr && kept->count < kKept) {
        kept->blocks[kept->count++] = p;
        return;
      }
    }
    ::operator delete(p);
  }
  friend bool operator==(const RecyclingAllocator&, const RecyclingAllocator&) { return true; }

 private:
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
  // Sanitizers: freed documents stay visible. Windows: the MinGW runtime's
  // teardown of thread-local objects at thread exit is not dependable (a
  // kept block was freed twice in the i686 build), so nothing is kept there.
  static constexpr std::size_t kKept = 0;
#else
  static constexpr std::size_t kKept = 4;
#endif
  struct Blocks {
    void* blocks[kKept > 0 ? kKept : 1];
    std::size_t count = 0;
    ~Blocks() {
      gone = true;
      while (count > 0) ::operator delete(blocks[--count]);
    }
    // Set once this thread's cache is destroyed: documents freed later in
    // the thread's teardown go straight back to the heap.
    static thread_local bool gone;
  };
  static Blocks* Kept() {
    if (Blocks::gone) return nullptr;
    thread_local Blocks kept;
    return &kept;
  }
};

template <class T>
thread_local bool RecyclingAllocator<T>::Blocks::gone = false;

std::shared_ptr<XmlDocument> NewDocument() {
  return std::allocate_shared<XmlDocument>(RecyclingAllocator<XmlDocument>());
}

// What each ASCII byte is written as, in text or in an attribute value;
// nullptr for bytes written as they are.
using Escapes = std::array<const char*, 128>;

constexpr Escapes MakeEscapes(bool attribute) {
  Escapes escapes{};
  escapes['&'] = "&amp;";
  escapes['<'] = "&lt;";
  escapes['\r'] = "&#13;";  // a literal CR would be read back as LF
  if (attribute) {
    escapes['"'] = "&quot;";
    escapes['\t'] = "&#9;";  // literal blanks would be read back as spaces
    escapes['\n'] = "&#10;";
  } else {
    escapes['>'] = "&gt;";  // keeps "]]>" out of text
  }
  return escapes;
}
constexpr Escapes kTextEscapes = MakeEscapes(false);
constexpr Escapes kValueEscapes = MakeEscapes(true);

// Nonzero when some byte of `word` equals `byte`; only the lowest such byte
// is marked exactly.
constexpr std::uint64_t HasByte(std::uint64_t word, unsigned char byte) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  const std::uint64_t x = word ^ (kOnes * byte);
  return (x - kOnes) & ~x & (kOnes * 0x80);
}

// Skips from `pos` over bytes that text writes as they are, eight at a time
// as far as whole words allow.
std::size_t SkipUnescapedText(std::string_view text, std::size_t pos) {
  while (text.size() - pos >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + pos, sizeof word);
    const std::uint64_t flags = HasByte(word, '&') | HasByte(word, '<') | HasByte(word, '>') | HasByte(word, '\r');
    if (flags != 0) return std::endian::native == std::endian::little ? pos + std::countr_zero(flags) / 8 : pos;
    pos += 8;
  }
  return pos;
}

// Writes into a string sized beforehand for the text without escapes; the
// escapes, which are rare, grow it as they need.
class Writer {
 public:
  explicit Writer(std::size_t size) : out_(size, '\0'), at_(out_.data()) {}

  void Put(char c) { *at_++ = c; }
  void Put(std::string_view text) {
    CopyChars(at_, text.data(), text.size());
    at_ += text.size();
  }

  // `text` with the bytes that `escapes` names written as references.
  void PutEscaped(std::string_view text, const Escapes& escapes) {
    const bool in_text = &escapes == &kTextEscapes;
    std::size_t chunk = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (in_text && (i = SkipUnescapedText(text, i)) == text.size()) break;
      const auto byte = static_cast<unsigned char>(text[i]);
      if (byte >= 0x80 || escapes[byte] == nullptr) continue;
      const std::string_view escape = escapes[byte];
      Grow(escape.size() - 1);  // the byte itself was counted
      Put(text.substr(chunk, i - chunk));
      Put(escape);
      chunk = i + 1;
    }
    Put(text.substr(chunk));
  }

  std::string Take() {
    out_.resize(static_cast<std::size_t>(at_ - out_.data()));
    return std::move(out_);
  }

 private:
  // Room for `count` characters beyond those counted beforehand.
  void Grow(std::size_t count) {
    if (spare_ < count) {
      const auto used = static_cast<std::size_t>(at_ - out_.data());
      const std::size_t more = std::max(out_.size(), count);
      out_.resize(out_.size() + more);
      at_ = out_.data() + used;
      spare_ += more;
    }
    spare_ -= count;
  }

  std::string out_;
  char* at_;
  std::size_t spare_ = 0;  // room beyond what the rest of the count needs
};

// Writes the start tag, or the whole element when it has no content.
void WriteStartTag(Writer& out, const XmlNode& node) {
  out.Put('<');
  out.Put(node.name);
  for (const XmlAttribute* attribute = node.first_attribute; attribute != nullptr; attribute = attribute->next) {
    out.Put(' ');
    out.Put(attribute->name);
    out.Put("=\"");
    out.PutEscaped(attribute->value, kValueEscapes);
    out.Put('"');
  }
  if (node.first_child == nullptr) out.Put('/');
  out.Put('>');
}

// Visits `top`'s subtree in document order without recursion: `enter` for
// each node (text runs included) and `leave` after an element's content.
template <class Enter, class Leave>
void Walk(const XmlNode& top, Enter&& enter, Leave&& leave) {
  const XmlNode* node = &top;
  for (;;) {
    enter(*node);
    if (node->first_child != nullptr) {
      node = node->first_child;
      continue;
    }
    if (!node->is_text()) leave(*node);
    while (node != &top && node->next_sibling == nullptr) {
      node = node->parent;
      leave(*node);
    }
    if (node == &top) return;
    node = node->next_sibling;
  }
}

}  // namespace

XmlElement::XmlElement() : state_(State::kFresh), node_(nullptr) {}

XmlElement::XmlElement(State state, std::shared_ptr<XmlDocument> document, XmlNode* node)
    : state_(state), document_(std::move(document)), node_(node) {}

namespace {
[[noreturn, gnu::cold, gnu::noinline]] void FailNotSet() {
  Fail(errors::kEmptyElement, "XML element not set: call LoadXml or CreateElement first");
}
[[noreturn, gnu::cold, gnu::noinline]] void FailEmpty() {
  Fail(errors::kEmptyElement, "XML element is empty (there is no such child element)");
}
}  // namespace

void XmlElement::RequireElement() const {
  if (state_ == State::kElement) return;
  if (state_ == State::kFresh) FailNotSet();
  FailEmpty();
}

void XmlElement::RequireFactory() const {
  if (state_ == State::kEmpty) FailEmpty();
}

XmlElement XmlElement::LoadXml(std::string_view xml_text, std::string_view /*option*/) const {
  return WithFailures(kSource, [&] {
    RequireFactory();
    if (xml_text.size() > kMaxTextSize) FailTooLong(xml_text.size());
    auto document = NewDocument();
    XmlNode* root = XmlParser(xml_text, *document).Parse();
    return XmlElement(State::kElement, std::move(document), root);
  });
}

XmlElement XmlElement::CreateElement(std::string_view name, std::string_view text) const {
  return WithFailures(kSource, [&] {
    RequireFactory();
    CheckName(name);
    CheckText(text);
    auto document = NewDocument();
    XmlNode* node = document->NewNode(1);
    node->name = document->Store(name);
    if (!text.empty()) document->TextRun(*node).append(text, 0, text.size());
    return XmlElement(State::kElement, std::move(document), node);
  });
}

std::string XmlElement::GetXml() const {
  return WithFailures(kSource, [&] {
    RequireElement();
    std::size_t size = 0;  // the length without escapes
    Walk(
        *node_,
        [&](const XmlNode& node) {
          if (node.is_text()) {
            size += node.text.size();
            return;
          }
          size += 1 + node.name.size() + (node.first_child == nullptr ? 2 : 4 + node.name.size());
          for (const XmlAttribute* attribute = node.first_attribute; attribute; attribute = attribute->next) {
            size += 4 + attribute->name.size() + attribute->value.size();
          }
        },
        [](const XmlNode&) {});
    Writer out(size);
    Walk(
        *node_,
        [&](const XmlNode& node) {
          if (node.is_text()) {
            out.PutEscaped(node.text, kTextEscapes);
          } else {
            WriteStartTag(out, node);
          }
        },
        [&](const XmlNode& node) {
          if (node.first_child == nullptr) return;
          out.Put('<');
          out.Put('/');
          out.Put(node.name);
          out.Put('>');
        });
    return out.Take();
  });
}

XmlElement XmlElement::GetElement(std::string_view name, int index, std::string_view /*option*/) const {
  return WithFailures(kSource, [&] {
    RequireElement();
    XmlNode* child = FindChild(*node_, name, index);
    if (child == nullptr) return XmlElement(State::kEmpty, nullptr, nullptr);
    return XmlElement(State::kElement, document_, child);
  });
}

std::string XmlElement::GetElementText(std::string_view name, int index, std::string_view /*option*/) const {
  return WithFailures(kSource, [&] {
    RequireElement();
    std::string text;
    if (const XmlNode* child = FindChild(*node_, name, index)) {
      const XmlNode* first = child->first_child;
      if (first != nullptr && first->next_sibling == nullptr) return std::string(first->text);  // the usual case
      std::size_t size = 0;
      for (const XmlNode* item = first; item != nullptr; item = item->next_sibling) size += item->text.size();
      text.reserve(size);
      for (const XmlNode* item = first; item != nullptr; item = item->next_sibling) text += item->text;
    }
    return text;
  });
}

void XmlElement::AppendElement(const XmlElement& element) {
  WithFailures(kSource, [&] {
    RequireElement();
    element.RequireElement();
    // Copy first and attach last: the source may be this node or one of its
    // ancestors, and must not change while it is read. Stored characters never
    // change, so within one document the copy shares them. The copy's deepest
    // level decides whether it may be attached; one that may not stays
    // unreachable in the document.
    const XmlNode& source = *element.node_;
    XmlDocument& document = *document_;
    const bool same_document = element.document_ == document_;
    const auto keep = [&](std::string_view text) { return same_document ? text : document.Store(text); };
    XmlNode* copy = document.NewNode(node_->depth + 1);
    XmlNode* target = nullptr;  // the copy's node whose content is being copied
    int deepest = copy->depth;
    Walk(
        source,
        [&](const XmlNode& from) {
          XmlNode* to = target == nullptr ? copy : document.NewNode(target->depth + 1);
          to->name = keep(from.name);
          to->text = keep(from.text);
          for (const XmlAttribute* attribute = from.first_attribute; attribute; attribute = attribute->next) {
            document.AddAttribute(*to, keep(attribute->name)).value = keep(attribute->value);
          }
          if (target != nullptr) target->Append(to);
          if (!from.is_text()) {
            target = to;
            deepest = std::max(deepest, to->depth);
          }
        },
        [&](const XmlNode&) { target = target->parent; });
    if (deepest > kMaxDepth) {
      Fail(errors::kInvalidArgument,
           "Appending the element would nest elements deeper than " + std::to_string(kMaxDepth));
    }
    node_->Append(copy);
  });
}

void XmlElement::AddElement(std::string_view name, std::string_view text) {
  WithFailures(kSource, [&] {
    RequireElement();
    CheckName(name);
    CheckText(text);
    if (node_->depth >= kMaxDepth) {
      Fail(errors::kInvalidArgument, "Adding the element would nest elements deeper than " + std::to_string(kMaxDepth));
    }
    XmlNode* child = document_->NewNode(node_->depth + 1);
    child->name = document_->Store(name);
    if (!text.empty()) document_->TextRun(*child).append(text, 0, text.size());
    node_->Append(child);
  });
}

bool XmlElement::IsEmpty() const noexcept { return state_ == State::kEmpty; }

}  // namespace vesk
