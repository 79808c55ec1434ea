#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <type_traits>

namespace vesk {

// Copies `count` bytes; names and most texts are short, and two overlapping
// fixed-size copies beat a call to memcpy for them.
inline void CopyChars(char* to, const char* from, std::size_t count) {
  if (count >= 8 && count <= 16) {
    std::memcpy(to, from, 8);
    std::memcpy(to + count - 8, from + count - 8, 8);
  } else if (count >= 4 && count < 8) {
    std::memcpy(to, from, 4);
    std::memcpy(to + count - 4, from + count - 4, 4);
  } else if (count >= 2 && count < 4) {
    to[0] = from[0];
    to[1] = from[1];
    to[count - 1] = from[count - 1];
  } else if (count == 1) {
    to[0] = from[0];
  } else if (count > 16) {
    std::memcpy(to, from, count);
  }
}

// True when the `count` bytes at `a` and `b` are the same; compared in place
// with overlapping loads, as names are short.
inline bool SameChars(const char* a, const char* b, std::size_t count) {
  const auto load8 = [](const char* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
  };
  const auto load4 = [](const char* p) {
    std::uint32_t half = 0;
    std::memcpy(&half, p, sizeof half);
    return half;
  };
  if (count >= 8) {
    for (std::size_t i = 0; i + 8 < count; i += 8) {
      if (load8(a + i) != load8(b + i)) return false;
    }
    return load8(a + count - 8) == load8(b + count - 8);
  }
  if (count >= 4) return load4(a) == load4(b) && load4(a + count - 4) == load4(b + count - 4);
  for (std::size_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// A node or attribute of a document, by its number there; 0 is none.
using XmlId = std::uint32_t;

// An element, or a run of text. Sixteen bytes: a document holds one per
// element and run, so small nodes keep a large request's memory near its
// size. Names and texts are offsets into the document's characters; an
// element's content (runs and child elements, in document order) is a list
// linked by number.
struct XmlNode {
  static constexpr XmlId kRun = 0xFFFFFFFF;                   // first_child of a run of text
  static constexpr std::uint32_t kHasAttributes = 1u << 31;  // in an element's length
  static constexpr std::uint32_t kMaxLength = kHasAttributes - 1;

  std::uint32_t chars;   // where the name (element) or the text (run) starts
  std::uint32_t length;  // its length (at most kMaxLength); top bit: attributes follow it
  XmlId first_child;     // kRun for a run
  XmlId next_sibling;

  bool is_text() const { return first_child == kRun; }
  bool has_attributes() const { return (length & kHasAttributes) != 0; }
  // The length of the name or the text.
  std::uint32_t size() const { return length & kMaxLength; }
};

// An attribute. An element's attributes are the records right after it, in
// document order; the last one is marked.
struct XmlAttribute {
  static constexpr std::uint32_t kLast = 1u << 31;  // in name_length

  std::uint32_t name;
  std::uint32_t name_length;
  std::uint32_t value;
  std::uint32_t value_length;
};

union XmlRecord {
  XmlNode node;
  XmlAttribute attribute;
};
static_assert(sizeof(XmlRecord) == 16 && std::is_trivially_copyable_v<XmlRecord>);

// Owns every node of one tree, its attributes and the characters of its names
// and texts. Records and characters each live in one array, inside the
// document while it is small; numbers and offsets stay valid when an array
// grows, references into it do not. A parsed text is kept at offset 0, so
// names and texts that appear in it unchanged are its positions, and nothing
// is copied for them.
class XmlDocument {
 public:
  XmlDocument() noexcept {}  // user-provided, so allocate_shared does not zero the inline storage
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  ~XmlDocument() {
    if (records_ != inline_records_) ::operator delete(records_);
    if (chars_ != inline_chars_) delete[] chars_;
  }

  const XmlNode& node(XmlId id) const { return Record(id).node; }
  XmlNode& node(XmlId id) { return Record(id).node; }
  const XmlAttribute& attribute(XmlId id) const { return Record(id).attribute; }
  XmlAttribute& attribute(XmlId id) { return Record(id).attribute; }

  std::string_view Chars(std::uint32_t at, std::uint32_t length) const { return {chars_ + at, length}; }
  // An element's name or a run's text.
  std::string_view Text(const XmlNode& node) const { return Chars(node.chars, node.size()); }
  std::string_view Name(const XmlAttribute& a) const { return Chars(a.name, a.name_length & ~XmlAttribute::kLast); }
  std::string_view Value(const XmlAttribute& a) const { return Chars(a.value, a.value_length); }
  // An element's first attribute, the one after `id`; 0 when there is none.
  XmlId FirstAttribute(XmlId element) const { return node(element).has_attributes() ? element + 1 : 0; }
  XmlId NextAttribute(XmlId id) const { return (attribute(id).name_length & XmlAttribute::kLast) != 0 ? 0 : id + 1; }

  // A new element named by the characters at [at, at + length).
  XmlId NewElement(std::uint32_t at, std::size_t length) {
    if (length > XmlNode::kMaxLength) throw std::bad_alloc();
    const XmlId id = NewRecord();
    Record(id).node = XmlNode{at, static_cast<std::uint32_t>(length), 0, 0};
    return id;
  }
  // A new run of the text at [at, at + length).
  XmlId NewRun(std::uint32_t at, std::size_t length) {
    if (length > XmlNode::kMaxLength) throw std::bad_alloc();
    const XmlId id = NewRecord();
    Record(id).node = XmlNode{at, static_cast<std::uint32_t>(length), XmlNode::kRun, 0};
    return id;
  }
  // Adds an attribute after `element`'s others. Nothing else may be added to
  // the document between an element and its attributes.
  XmlId AddAttribute(XmlId element, std::uint32_t name, std::size_t name_length) {
    if (name_length >= XmlAttribute::kLast) throw std::bad_alloc();
    const XmlId id = NewRecord();
    Record(id).attribute = XmlAttribute{name, static_cast<std::uint32_t>(name_length) | XmlAttribute::kLast, 0, 0};
    if (id - 1 != element) Record(id - 1).attribute.name_length &= ~XmlAttribute::kLast;
    node(element).length |= XmlNode::kHasAttributes;
    return id;
  }
  // Makes `child` the last of `parent`'s content, whose last item is
  // `last_child` (0: none); updates `last_child`.
  void Link(XmlId parent, XmlId& last_child, XmlId child) {
    (last_child != 0 ? node(last_child).next_sibling : node(parent).first_child) = child;
    last_child = child;
  }
  // The same, finding the last item first.
  void Append(XmlId parent, XmlId child) {
    XmlId last = node(parent).first_child;
    while (last != 0 && node(last).next_sibling != 0) last = node(last).next_sibling;
    Link(parent, last, child);
  }

  // Builds a text that the document owns by appending to it; the parser
  // appends pieces of one run or attribute value with it.
  class TextBuilder {
   public:
    TextBuilder(XmlDocument& document, std::uint32_t& at, std::uint32_t& length)
        : document_(document), at_(at), length_(length) {}
    // Appends the kept source's characters [pos, pos + count).
    TextBuilder& AppendSource(std::size_t pos, std::size_t count) {
      document_.ExtendFromSource(at_, length_, pos, count);
      return *this;
    }
    void push_back(char c) { std::memcpy(document_.Grow(at_, length_, 1), &c, 1); }
    TextBuilder& operator+=(char c) {
      push_back(c);
      return *this;
    }

   private:
    XmlDocument& document_;
    std::uint32_t& at_;
    std::uint32_t& length_;
  };

  // A copy of `text` that lives as long as the document: its offset.
  std::uint32_t Store(std::string_view text) {
    const std::uint32_t at = Reserve(text.size());
    CopyChars(chars_ + at, text.data(), text.size());
    return at;
  }

  // Keeps a copy of the text to be parsed at offset 0 (the document must be
  // new), with room for as many characters again: what parsing it adds (texts
  // whose references are replaced, never longer than their source) then fits
  // without the array growing. A large text also gets room for the most
  // records it can give (one per 2.5 characters: "x<a/>"), so that its
  // records are never copied either; pages not written stay unused.
  void Keep(std::string_view source) {
    // Its texts, never longer than it, stay within XmlNode::kMaxLength.
    if (source.size() > std::numeric_limits<std::uint32_t>::max() / 2 - kInlineChars) throw std::bad_alloc();
    if (2 * source.size() + 64 > capacity_) Relocate(2 * source.size() + 64);
    Store(source);
    source_size_ = static_cast<std::uint32_t>(source.size());
    if (source.size() > kReserveRecordsFrom) GrowRecords(source.size() / 2 + kInlineRecords);
  }

 private:
  static constexpr std::uint32_t kInlineRecords = 16;
  static constexpr std::size_t kInlineChars = 1024;
  // Smaller texts let their records grow by doubling: cheap copies, and no
  // allocation at all for the usual requests, which fit inside.
  static constexpr std::size_t kReserveRecordsFrom = 16 * 1024;

  const XmlRecord& Record(XmlId id) const { return records_[id]; }
  XmlRecord& Record(XmlId id) { return records_[id]; }

  XmlId NewRecord() {
    if (count_ == capacity_records_) [[unlikely]] GrowRecords(std::size_t{count_} * 2);
    return count_++;
  }
  [[gnu::noinline]] void GrowRecords(std::size_t capacity) {
    if (capacity <= capacity_records_) return;
    if (capacity >= XmlNode::kRun) {
      if (capacity_records_ + std::size_t{1} >= XmlNode::kRun) throw std::bad_alloc();
      capacity = XmlNode::kRun - 1;
    }
    auto* records = static_cast<XmlRecord*>(::operator new(capacity * sizeof(XmlRecord)));  // left uninitialised
    std::memcpy(static_cast<void*>(records), records_, count_ * sizeof(XmlRecord));
    if (records_ != inline_records_) ::operator delete(records_);
    records_ = records;
    capacity_records_ = static_cast<std::uint32_t>(capacity);
  }

  // Appends `more` to the text at [at, at + length): by lengthening it when
  // both lie side by side in the kept source, else by copying.
  void ExtendFromSource(std::uint32_t& at, std::uint32_t& length, std::size_t pos, std::size_t count) {
    if (count == 0) return;
    if (length == 0 || (at + length == pos && pos < source_size_)) {
      if (length == 0) at = static_cast<std::uint32_t>(pos);
      length += static_cast<std::uint32_t>(count);
      return;
    }
    char* to = Grow(at, length, count);  // may move the characters: the source is read after it
    std::memcpy(to, chars_ + pos, count);
  }

  // Room for `count` more characters at the end of the text [at, at +
  // length): in place when it is the last text stored, else after a copy of
  // it. Characters already stored never change, so texts may share them.
  char* Grow(std::uint32_t& at, std::uint32_t& length, std::size_t count) {
    if (length == 0 || at + length != used_) {
      const std::uint32_t to = Reserve(length + count);
      std::memcpy(chars_ + to, chars_ + at, length);
      at = to;
    } else {
      Reserve(count);
    }
    length += static_cast<std::uint32_t>(count);
    return chars_ + at + length - count;
  }

  // Room for `count` characters at the end of the stored ones: their offset.
  std::uint32_t Reserve(std::size_t count) {
    if (count > capacity_ - used_) Relocate(used_ + count);
    const std::uint32_t at = static_cast<std::uint32_t>(used_);
    used_ += count;
    return at;
  }
  [[gnu::noinline]] void Relocate(std::size_t needed) {
    if (needed > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
    const std::size_t capacity = std::max<std::size_t>(
        needed, std::min<std::size_t>(2 * capacity_, std::numeric_limits<std::uint32_t>::max()));
    char* chars = new char[capacity];  // left uninitialised
    std::memcpy(chars, chars_, used_);
    if (chars_ != inline_chars_) delete[] chars_;
    chars_ = chars;
    capacity_ = capacity;
  }

  // Records and characters are never destroyed one by one: the document
  // frees their memory as a whole.
  static_assert(std::is_trivially_destructible_v<XmlRecord>);

  XmlRecord inline_records_[kInlineRecords];  // record 0 stays unused: number 0 is none
  XmlRecord* records_ = inline_records_;
  std::uint32_t count_ = 1;
  std::uint32_t capacity_records_ = kInlineRecords;

  char inline_chars_[kInlineChars];
  char* chars_ = inline_chars_;
  std::size_t used_ = 0;
  std::size_t capacity_ = kInlineChars;
  std::uint32_t source_size_ = 0;  // the kept text being parsed: [0, source_size_)
};

}  // namespace vesk
