#pragma once

#include <deque>
#include <string>
#include <vector>

namespace vesk {

struct XmlNode;

// One item of an element's content: a child element, or (child == nullptr) a
// run of text. Adjacent text is kept in one run.
struct XmlContent {
  XmlNode* child;
  std::string text;
};

struct XmlAttribute {
  std::string name;
  std::string value;
};

// An element. Children are pointers into the owning document, so destroying
// a document never recurses however deep the tree is.
struct XmlNode {
  std::string name;
  std::vector<XmlAttribute> attributes;  // in document order
  std::vector<XmlContent> content;       // text runs and children, in order
  int depth = 1;                         // 1 for an element without parent
};

// Owns every node of one tree; a deque keeps node addresses stable as it grows.
struct XmlDocument {
  std::deque<XmlNode> nodes;

  XmlNode* NewNode(int depth) {
    XmlNode& node = nodes.emplace_back();
    node.depth = depth;
    return &node;
  }
};

}  // namespace vesk
