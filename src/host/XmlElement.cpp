#include "host/XmlElement.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
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

XmlId FindChild(const XmlDocument& document, XmlId parent, std::string_view name, int index) {
  if (index < 0) FailNegativeIndex(index);
  // An invalid name matches no child, so it needs no check of its own.
  for (XmlId id = document.node(parent).first_child; id != 0;) {
    const XmlNode& child = document.node(id);
    if ((child.length & ~XmlNode::kHasAttributes) == name.size() && !child.is_text() &&
        SameChars(document.Chars(child.chars, 0).data(), name.data(), name.size()) && index-- == 0) {
      return id;
    }
    id = child.next_sibling;
  }
  return 0;
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

// A new element `name` holding `text` (both checked), not yet linked.
XmlId NewChild(XmlDocument& document, std::string_view name, std::string_view text) {
  const XmlId element = document.NewElement(document.Store(name), name.size());
  if (!text.empty()) {
    if (text.size() > XmlNode::kMaxLength) throw std::bad_alloc();
    const XmlId run = document.NewRun(document.Store(text), text.size());
    XmlId last = 0;
    document.Link(element, last, run);
  }
  return element;
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

  // `text` with the bytes that text (kInText) or an attribute value escapes
  // written as references.
  template <bool kInText>
  void PutEscaped(std::string_view text) {
    const Escapes& escapes = kInText ? kTextEscapes : kValueEscapes;
    std::size_t chunk = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (kInText && (i = SkipUnescapedText(text, i)) == text.size()) break;
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
void WriteStartTag(Writer& out, const XmlDocument& document, XmlId id) {
  const XmlNode& node = document.node(id);
  out.Put('<');
  out.Put(document.Text(node));
  for (XmlId a = document.FirstAttribute(id); a != 0; a = document.NextAttribute(a)) {
    const XmlAttribute& attribute = document.attribute(a);
    out.Put(' ');
    out.Put(document.Name(attribute));
    out.Put("=\"");
    out.PutEscaped<false>(document.Value(attribute));
    out.Put('"');
  }
  if (node.first_child == 0) out.Put('/');
  out.Put('>');
}

// Visits `top`'s subtree in document order without recursion: `enter` for
// each node (text runs included) and `leave` after an element's content. The
// way back up is a stack of the open elements, as deep as trees may nest.
// With kEnterAdds, `enter` may add records to the document (which may move
// them).
template <bool kEnterAdds = false, class Enter, class Leave>
void Walk(const XmlDocument& document, XmlId top, Enter&& enter, Leave&& leave) {
  std::array<XmlId, XmlElement::kMaxDepth + 1> open;
  std::size_t depth = 0;
  XmlId id = top;
  const XmlNode* node = &document.node(id);
  for (;;) {
    enter(id, *node);
    if (kEnterAdds) node = &document.node(id);
    if (!node->is_text() && node->first_child != 0) {
      open[depth++] = id;
      id = node->first_child;
      node = &document.node(id);
      continue;
    }
    if (!node->is_text()) leave(*node);
    while (id != top && node->next_sibling == 0) {
      id = open[--depth];
      node = &document.node(id);
      leave(*node);
    }
    if (id == top) return;
    id = node->next_sibling;
    node = &document.node(id);
  }
}

}  // namespace

XmlElement::XmlElement() : state_(State::kFresh), node_(0), depth_(0) {}

XmlElement::XmlElement(State state, std::shared_ptr<XmlDocument> document, std::uint32_t node, int depth)
    : state_(state), document_(std::move(document)), node_(node), depth_(depth) {}

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
    const XmlId root = XmlParser(xml_text, *document).Parse();
    return XmlElement(State::kElement, std::move(document), root, 1);
  });
}

XmlElement XmlElement::CreateElement(std::string_view name, std::string_view text) const {
  return WithFailures(kSource, [&] {
    RequireFactory();
    CheckName(name);
    CheckText(text);
    auto document = NewDocument();
    const XmlId node = NewChild(*document, name, text);
    return XmlElement(State::kElement, std::move(document), node, 1);
  });
}

std::string XmlElement::GetXml() const {
  return WithFailures(kSource, [&] {
    RequireElement();
    const XmlDocument& document = *document_;
    std::size_t size = 0;  // the length without escapes
    Walk(
        document, node_,
        [&](XmlId id, const XmlNode& node) {
          if (node.is_text()) {
            size += node.size();
            return;
          }
          size += 1 + node.size() + (node.first_child == 0 ? 2 : 4 + node.size());
          for (XmlId a = document.FirstAttribute(id); a != 0; a = document.NextAttribute(a)) {
            const XmlAttribute& attribute = document.attribute(a);
            size += 4 + document.Name(attribute).size() + attribute.value_length;
          }
        },
        [](const XmlNode&) {});
    Writer out(size);
    Walk(
        document, node_,
        [&](XmlId id, const XmlNode& node) {
          if (node.is_text()) {
            out.PutEscaped<true>(document.Text(node));
          } else {
            WriteStartTag(out, document, id);
          }
        },
        [&](const XmlNode& node) {
          if (node.first_child == 0) return;
          out.Put('<');
          out.Put('/');
          out.Put(document.Text(node));
          out.Put('>');
        });
    return out.Take();
  });
}

XmlElement XmlElement::GetElement(std::string_view name, int index, std::string_view /*option*/) const {
  return WithFailures(kSource, [&] {
    RequireElement();
    const XmlId child = FindChild(*document_, node_, name, index);
    if (child == 0) return XmlElement(State::kEmpty, nullptr, 0, 0);
    return XmlElement(State::kElement, document_, child, depth_ + 1);
  });
}

std::string XmlElement::GetElementText(std::string_view name, int index, std::string_view /*option*/) const {
  return WithFailures(kSource, [&] {
    RequireElement();
    const XmlDocument& document = *document_;
    std::string text;
    if (const XmlId child = FindChild(document, node_, name, index)) {
      const XmlId first = document.node(child).first_child;
      // The usual case: one run, or nothing.
      if (first == 0) return text;
      const XmlNode& run = document.node(first);
      if (run.next_sibling == 0) return run.is_text() ? std::string(document.Text(run)) : text;
      std::size_t size = 0;
      for (XmlId id = first; id != 0; id = document.node(id).next_sibling) {
        if (document.node(id).is_text()) size += document.node(id).size();
      }
      text.reserve(size);
      for (XmlId id = first; id != 0; id = document.node(id).next_sibling) {
        if (document.node(id).is_text()) text += document.Text(document.node(id));
      }
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
    const XmlDocument& source = *element.document_;
    XmlDocument& document = *document_;
    const bool same_document = element.document_ == document_;
    const auto keep = [&](std::uint32_t at, std::uint32_t length) {
      return same_document ? at : document.Store(source.Chars(at, length));
    };
    // The copy's elements whose content is being copied, each with its last item.
    struct Target {
      XmlId element;
      XmlId last_child;
    };
    std::array<Target, kMaxDepth + 1> targets;  // left uninitialised: only [0, open) is read
    std::size_t open = 0;
    XmlId copy = 0;
    int deepest = depth_ + 1;
    Walk<true>(
        source, element.node_,
        [&](XmlId id, const XmlNode& source_node) {
          const XmlNode from = source_node;  // copied: adding records may move the source's
          const std::uint32_t size = from.size();
          const XmlId to = from.is_text() ? document.NewRun(keep(from.chars, size), size)
                                          : document.NewElement(keep(from.chars, size), size);
          for (XmlId a = source.FirstAttribute(id); a != 0; a = source.NextAttribute(a)) {
            const XmlAttribute attribute = source.attribute(a);
            const auto name_length = static_cast<std::uint32_t>(source.Name(attribute).size());
            const std::uint32_t name = keep(attribute.name, name_length);
            const std::uint32_t value = keep(attribute.value, attribute.value_length);
            XmlAttribute& added = document.attribute(document.AddAttribute(to, name, name_length));
            added.value = value;
            added.value_length = attribute.value_length;
          }
          if (open == 0) {
            copy = to;
          } else {
            document.Link(targets[open - 1].element, targets[open - 1].last_child, to);
          }
          if (!from.is_text()) {
            targets[open++] = Target{to, 0};
            deepest = std::max(deepest, depth_ + static_cast<int>(open));
          }
        },
        [&](const XmlNode&) { --open; });
    if (deepest > kMaxDepth) {
      Fail(errors::kInvalidArgument,
           "Appending the element would nest elements deeper than " + std::to_string(kMaxDepth));
    }
    document.Append(node_, copy);
  });
}

void XmlElement::AddElement(std::string_view name, std::string_view text) {
  WithFailures(kSource, [&] {
    RequireElement();
    CheckName(name);
    CheckText(text);
    if (depth_ >= kMaxDepth) {
      Fail(errors::kInvalidArgument, "Adding the element would nest elements deeper than " + std::to_string(kMaxDepth));
    }
    document_->Append(node_, NewChild(*document_, name, text));
  });
}

bool XmlElement::IsEmpty() const noexcept { return state_ == State::kEmpty; }

}  // namespace vesk
