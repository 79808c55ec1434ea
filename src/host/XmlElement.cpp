#include "host/XmlElement.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "host/XmlDocument.h"
#include "host/XmlParser.h"

namespace vesk {
namespace {

constexpr const char* kSource = "XmlElement";

[[noreturn]] void Fail(int number, const std::string& description) { throw Failure(number, kSource, description); }

void CheckName(const std::string& name) {
  if (XmlParser::IsName(name)) return;
  Fail(errors::kInvalidArgument,
       XmlParser::IsText(name) ? "'" + name + "' is not a valid XML element name" : "Invalid XML element name");
}

void CheckText(const std::string& text) {
  if (!XmlParser::IsText(text)) {
    Fail(errors::kInvalidArgument, "Text is not valid UTF-8 or holds a character that XML does not allow");
  }
}

XmlNode* FindChild(const XmlNode& parent, const std::string& name, int index) {
  if (index < 0) Fail(errors::kInvalidArgument, "Negative index " + std::to_string(index));
  CheckName(name);
  for (const XmlContent& item : parent.content) {
    if (item.child != nullptr && item.child->name == name && index-- == 0) return item.child;
  }
  return nullptr;
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

void AppendEscaped(std::string& out, std::string_view text, const Escapes& escapes) {
  std::size_t chunk = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80 || escapes[byte] == nullptr) continue;
    out.append(text, chunk, i - chunk).append(escapes[byte]);
    chunk = i + 1;
  }
  out.append(text, chunk, text.size() - chunk);
}

// Writes the start tag (or the whole element when it has no content); returns
// whether the element's content and end tag are still to come.
bool WriteStartTag(std::string& out, const XmlNode& node) {
  out.append(1, '<').append(node.name);
  for (const XmlAttribute& attribute : node.attributes) {
    out.append(1, ' ').append(attribute.name).append("=\"");
    AppendEscaped(out, attribute.value, kValueEscapes);
    out += '"';
  }
  out.append(node.content.empty() ? "/>" : ">");
  return !node.content.empty();
}

struct Frame {
  const XmlNode* node;
  std::size_t next;  // index of the next content item to write
};

// The unescaped length of the subtree's XML text, to size the output once.
std::size_t EstimateSize(const XmlNode& top, std::vector<Frame>& stack) {
  std::size_t size = 0;
  stack.assign(1, Frame{&top, 0});
  while (!stack.empty()) {
    const XmlNode& node = *stack.back().node;
    stack.pop_back();
    size += 2 * node.name.size() + 5;
    for (const XmlAttribute& attribute : node.attributes) size += attribute.name.size() + attribute.value.size() + 4;
    for (const XmlContent& item : node.content) {
      if (item.child != nullptr) {
        stack.push_back({item.child, 0});
      } else {
        size += item.text.size();
      }
    }
  }
  return size;
}

}  // namespace

XmlElement::XmlElement() : state_(State::kFresh), node_(nullptr) {}

XmlElement::XmlElement(State state, std::shared_ptr<XmlDocument> document, XmlNode* node)
    : state_(state), document_(std::move(document)), node_(node) {}

void XmlElement::RequireElement() const {
  if (state_ == State::kFresh) Fail(errors::kEmptyElement, "XML element not set: call LoadXml or CreateElement first");
  RequireFactory();
}

void XmlElement::RequireFactory() const {
  if (state_ == State::kEmpty) Fail(errors::kEmptyElement, "XML element is empty (there is no such child element)");
}

XmlElement XmlElement::LoadXml(const std::string& xml_text, const std::string& /*option*/) const {
  return WithFailures(kSource, [&] {
    RequireFactory();
    auto document = std::make_shared<XmlDocument>();
    XmlNode* root = XmlParser(xml_text, *document, kMaxDepth).Parse();
    return XmlElement(State::kElement, std::move(document), root);
  });
}

XmlElement XmlElement::CreateElement(const std::string& name, const std::string& text) const {
  return WithFailures(kSource, [&] {
    RequireFactory();
    CheckName(name);
    CheckText(text);
    auto document = std::make_shared<XmlDocument>();
    XmlNode* node = document->NewNode(1);
    node->name = name;
    if (!text.empty()) node->content.push_back({nullptr, text});
    return XmlElement(State::kElement, std::move(document), node);
  });
}

std::string XmlElement::GetXml() const {
  return WithFailures(kSource, [&] {
    RequireElement();
    std::vector<Frame> stack;
    stack.reserve(16);
    std::string out;
    out.reserve(EstimateSize(*node_, stack));
    stack.clear();
    if (WriteStartTag(out, *node_)) stack.push_back({node_, 0});
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next == frame.node->content.size()) {
        out.append("</").append(frame.node->name).append(1, '>');
        stack.pop_back();
        continue;
      }
      const XmlContent& item = frame.node->content[frame.next++];
      if (item.child == nullptr) {
        AppendEscaped(out, item.text, kTextEscapes);
      } else if (WriteStartTag(out, *item.child)) {
        stack.push_back({item.child, 0});
      }
    }
    return out;
  });
}

XmlElement XmlElement::GetElement(const std::string& name, int index, const std::string& /*option*/) const {
  return WithFailures(kSource, [&] {
    RequireElement();
    XmlNode* child = FindChild(*node_, name, index);
    if (child == nullptr) return XmlElement(State::kEmpty, nullptr, nullptr);
    return XmlElement(State::kElement, document_, child);
  });
}

std::string XmlElement::GetElementText(const std::string& name, int index, const std::string& /*option*/) const {
  return WithFailures(kSource, [&] {
    RequireElement();
    std::string text;
    if (const XmlNode* child = FindChild(*node_, name, index)) {
      for (const XmlContent& item : child->content) {
        if (item.child == nullptr) text += item.text;
      }
    }
    return text;
  });
}

void XmlElement::AppendElement(const XmlElement& element) {
  WithFailures(kSource, [&] {
    RequireElement();
    element.RequireElement();
    // The subtree's deepest level decides whether the copy fits below this node.
    const XmlNode& source = *element.node_;
    int deepest = source.depth;
    std::vector<const XmlNode*> pending{&source};
    while (!pending.empty()) {
      const XmlNode& node = *pending.back();
      pending.pop_back();
      deepest = std::max(deepest, node.depth);
      for (const XmlContent& item : node.content) {
        if (item.child != nullptr) pending.push_back(item.child);
      }
    }
    if (node_->depth + 1 + (deepest - source.depth) > kMaxDepth) {
      Fail(errors::kInvalidArgument,
           "Appending the element would nest elements deeper than " + std::to_string(kMaxDepth));
    }
    // Copy first and attach last: the source may be this node or one of its
    // ancestors, and must not change while it is read.
    XmlNode* copy = document_->NewNode(node_->depth + 1);
    std::vector<std::pair<const XmlNode*, XmlNode*>> work{{&source, copy}};
    while (!work.empty()) {
      const auto [from, to] = work.back();
      work.pop_back();
      to->name = from->name;
      to->attributes = from->attributes;
      to->content.reserve(from->content.size());
      for (const XmlContent& item : from->content) {
        if (item.child == nullptr) {
          to->content.push_back({nullptr, item.text});
        } else {
          XmlNode* child = document_->NewNode(to->depth + 1);
          to->content.push_back({child, {}});
          work.emplace_back(item.child, child);
        }
      }
    }
    node_->content.push_back({copy, {}});
  });
}

void XmlElement::AddElement(const std::string& name, const std::string& text) {
  WithFailures(kSource, [&] {
    RequireElement();
    CheckName(name);
    CheckText(text);
    if (node_->depth >= kMaxDepth) {
      Fail(errors::kInvalidArgument, "Adding the element would nest elements deeper than " + std::to_string(kMaxDepth));
    }
    XmlNode* child = document_->NewNode(node_->depth + 1);
    child->name = name;
    if (!text.empty()) child->content.push_back({nullptr, text});
    node_->content.push_back({child, {}});
  });
}

bool XmlElement::IsEmpty() const noexcept { return state_ == State::kEmpty; }

}  // namespace vesk
