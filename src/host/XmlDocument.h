#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

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

// Names and texts are views of characters that the owning document keeps.
struct XmlAttribute {
  std::string_view name;
  std::string_view value;
  XmlAttribute* next = nullptr;  // the element's next attribute
};

// An element, or a run of text (a node without a name). An element's content
// (text runs and child elements, in document order) is a linked list of its
// children; nodes point into the owning document, so destroying a document
// never recurses however deep the tree is.
struct XmlNode {
  std::string_view name;                    // empty for a text run
  std::string_view text;                    // the text of a text run
  XmlAttribute* first_attribute = nullptr;  // in document order, linked by next
  XmlAttribute* last_attribute = nullptr;
  XmlNode* parent = nullptr;
  XmlNode* first_child = nullptr;
  XmlNode* last_child = nullptr;
  XmlNode* next_sibling = nullptr;
  int depth = 1;  // 1 for an element without parent

  bool is_text() const { return name.empty(); }

  void Append(XmlNode* child) {
    child->parent = this;
    (last_child != nullptr ? last_child->next_sibling : first_child) = child;
    last_child = child;
  }
};

// Owns every node of one tree, its attributes and the characters of its names
// and texts. The first nodes and characters live inside the document itself
// and later ones in chunks of growing size, so a small request costs one
// allocation; addresses stay stable as the document grows.
class XmlDocument {
 public:
  XmlDocument() noexcept {}  // user-provided, so allocate_shared does not zero the inline storage
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  XmlNode* NewNode(int depth) {
    XmlNode* node = inline_used_ < kInlineNodes ? new (InlineNode(inline_used_++)) XmlNode : ChunkNode();
    node->depth = depth;
    return node;
  }

  // Adds an attribute `name` (a text of this document) after `node`'s others.
  XmlAttribute& AddAttribute(XmlNode& node, std::string_view name) {
    auto* attribute = new (Allocate(sizeof(XmlAttribute), alignof(XmlAttribute))) XmlAttribute{name, {}, nullptr};
    (node.last_attribute != nullptr ? node.last_attribute->next : node.first_attribute) = attribute;
    node.last_attribute = attribute;
    return *attribute;
  }

  // Builds a text that the document owns by appending to it; the parser
  // appends pieces of one run or attribute value with it.
  class TextBuilder {
   public:
    TextBuilder(XmlDocument& document, std::string_view& text) : document_(document), text_(text) {}
    TextBuilder& append(std::string_view from, std::size_t pos, std::size_t count) {
      document_.Extend(text_, from.substr(pos, count));
      return *this;
    }
    void push_back(char c) { document_.Extend(text_, std::string_view(&c, 1)); }
    TextBuilder& operator+=(char c) {
      push_back(c);
      return *this;
    }

   private:
    XmlDocument& document_;
    std::string_view& text_;
  };

  // The text run that ends `parent`'s content, added when there is none.
  TextBuilder TextRun(XmlNode& parent) {
    if (parent.last_child == nullptr || !parent.last_child->is_text()) parent.Append(NewNode(parent.depth + 1));
    return TextBuilder(*this, parent.last_child->text);
  }

  // A copy of `text` that lives as long as the document.
  std::string_view Store(std::string_view text) {
    if (text.empty()) return {};
    char* chars = Reserve(text.size());
    CopyChars(chars, text.data(), text.size());
    return {chars, text.size()};
  }

  // Keeps a copy of the text to be parsed: the names and texts that appear in
  // it unchanged stay views of that copy.
  std::string_view Keep(std::string_view source) {
    source_ = Store(source);
    return source_;
  }

  // Appends `more` to `text`, a text of this document: as a view of the kept
  // source when both lie there side by side, in place when `text` is the last
  // one stored and there is room, else as a new copy. Characters already
  // stored never change, so texts may share them.
  void Extend(std::string_view& text, std::string_view more) {
    if (more.empty()) return;
    if (InSource(more) && (text.empty() || (InSource(text) && text.data() + text.size() == more.data()))) {
      text = {text.empty() ? more.data() : text.data(), text.size() + more.size()};
      return;
    }
    if (text.empty()) {
      text = Store(more);
      return;
    }
    if (text.data() + text.size() == chars_tail_ && static_cast<std::size_t>(chars_end_ - chars_tail_) >= more.size()) {
      std::memcpy(chars_tail_, more.data(), more.size());
      chars_tail_ += more.size();
      text = {text.data(), text.size() + more.size()};
      return;
    }
    char* chars = Reserve(text.size() + more.size());
    std::memcpy(chars, text.data(), text.size());
    std::memcpy(chars + text.size(), more.data(), more.size());
    text = {chars, text.size() + more.size()};
  }

 private:
  static constexpr std::size_t kInlineNodes = 16;
  static constexpr std::size_t kInlineChars = 1024;

  bool InSource(std::string_view text) const {
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    const auto source = reinterpret_cast<std::uintptr_t>(source_.data());
    return text.size() <= source_.size() && at >= source && at - source <= source_.size() - text.size();
  }

  // Room for `count` characters at the end of the stored ones.
  char* Reserve(std::size_t count) {
    if (static_cast<std::size_t>(chars_end_ - chars_tail_) < count) NewCharChunk(count);
    char* chars = chars_tail_;
    chars_tail_ += count;
    return chars;
  }

  // Room for an object among the stored characters.
  void* Allocate(std::size_t size, std::size_t alignment) {
    const auto padding = [&] { return -reinterpret_cast<std::uintptr_t>(chars_tail_) & (alignment - 1); };
    if (static_cast<std::size_t>(chars_end_ - chars_tail_) < padding() + size) NewCharChunk(size + alignment);
    chars_tail_ += padding();
    return Reserve(size);
  }

  void NewCharChunk(std::size_t count) {
    chars_chunk_size_ = std::max(chars_chunk_size_ * 2, count);
    char_chunks_.emplace_back(new char[chars_chunk_size_]);  // left uninitialised
    chars_tail_ = char_chunks_.back().get();
    chars_end_ = chars_tail_ + chars_chunk_size_;
  }

  struct Chunk {
    struct Free {
      void operator()(XmlNode* block) const { ::operator delete(block); }
    };
    std::unique_ptr<XmlNode, Free> storage;
    XmlNode* nodes;
    std::size_t size;
    std::size_t used;
  };

  XmlNode* InlineNode(std::size_t i) { return reinterpret_cast<XmlNode*>(inline_storage_) + i; }

  [[gnu::noinline]] XmlNode* ChunkNode() {
    if (chunks_.empty() || chunks_.back().used == chunks_.back().size) {
      const std::size_t size = chunks_.empty() ? 32 : chunks_.back().size * 2;
      auto* nodes = static_cast<XmlNode*>(::operator new(size * sizeof(XmlNode)));
      chunks_.push_back(Chunk{std::unique_ptr<XmlNode, Chunk::Free>(nodes), nodes, size, 0});
    }
    Chunk& chunk = chunks_.back();
    XmlNode* node = new (chunk.nodes + chunk.used) XmlNode;
    ++chunk.used;
    return node;
  }

  // Nodes and attributes are never destroyed one by one: the document frees
  // their memory as a whole.
  static_assert(std::is_trivially_destructible_v<XmlNode> && std::is_trivially_destructible_v<XmlAttribute>);

  alignas(XmlNode) unsigned char inline_storage_[kInlineNodes * sizeof(XmlNode)];
  std::size_t inline_used_ = 0;
  std::vector<Chunk> chunks_;

  char inline_chars_[kInlineChars];
  std::string_view source_;  // the kept text being parsed
  char* chars_tail_ = inline_chars_;  // where the next stored character goes
  char* chars_end_ = inline_chars_ + kInlineChars;
  std::size_t chars_chunk_size_ = kInlineChars;
  std::vector<std::unique_ptr<char[]>> char_chunks_;
};

}  // namespace vesk
