#pragma once

#include <new>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vesk {

struct XmlAttribute {
  std::string name;
  std::string value;
};

// An element, or a run of text (a node without a name). An element's content
// (text runs and child elements, in document order) is a linked list of its
// children; nodes point into the owning document, so destroying a document
// never recurses however deep the tree is.
struct XmlNode {
  std::string name;                      // empty for a text run
  std::string text;                      // the text of a text run
  std::vector<XmlAttribute> attributes;  // in document order
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

// Owns every node of one tree. The first nodes live inside the document
// itself and later ones in chunks of growing size, so a small request costs
// one allocation; nodes are constructed only when used, and their addresses
// stay stable as the document grows.
class XmlDocument {
 public:
  XmlDocument() = default;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  ~XmlDocument() {
    for (std::size_t i = 0; i < inline_used_; ++i) InlineNode(i)->~XmlNode();
    for (Chunk& chunk : chunks_) {
      for (std::size_t i = 0; i < chunk.used; ++i) chunk.nodes[i].~XmlNode();
    }
  }

  XmlNode* NewNode(int depth) {
    XmlNode* node = inline_used_ < kInlineNodes ? new (InlineNode(inline_used_++)) XmlNode : ChunkNode();
    node->depth = depth;
    return node;
  }

  // The text run that ends `parent`'s content, added when there is none.
  std::string& TextRun(XmlNode& parent) {
    if (parent.last_child == nullptr || !parent.last_child->is_text()) parent.Append(NewNode(parent.depth + 1));
    return parent.last_child->text;
  }

 private:
  static constexpr std::size_t kInlineNodes = 7;

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

  XmlNode* ChunkNode() {
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

  alignas(XmlNode) unsigned char inline_storage_[kInlineNodes * sizeof(XmlNode)];
  std::size_t inline_used_ = 0;
  std::vector<Chunk> chunks_;
};

}  // namespace vesk
