#include "host/XmlDocumentGenerator.h"

namespace vesk::test {
namespace {

const char* const kNames[] = {"a", "b", "item", "_x", "A1", "a.b-c", "\xC3\xA9t\xC3\xA9", "\xE5\x90\x8D", "s", "sett"};
const char* const kTextPieces[] = {
    "plain", " ", "\n", "\r\n", "\r", "\t", "&lt;", "&gt;", "&amp;", "&apos;", "&quot;", "&#65;", "&#x20AC;",
    "&#x10FFFF;", "&#13;", "&#9;", "]]", "]>", ">", "'\"", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xEF\xBF\xBD",
    "<![CDATA[<x> & ]]]]>", "<![CDATA[]]>", "<![CDATA[\r\n]]>", "<!-- c -->", "<!---->", "<?pi data?>", "<?t?>"};
const char* const kValuePieces[] = {"v",     " ",      "\t",    "\n",   "\r\n",     "&amp;",  "&lt;", "&quot;",
                                    "&apos;", "&#9;", "&#10;", "&#13;", "&#x1F600;", ">",      "\xC3\xA9", "]]>"};
const char* const kMisc[] = {"", " ", "\n", "<!-- note -->", "<?pi x?>", "\r\n<!--x-->\n"};
const char* const kDeclarations[] = {"",
                                     "<?xml version=\"1.0\"?>",
                                     "<?xml version='1.0' encoding='UTF-8'?>\n",
                                     "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>",
                                     "<?xml version=\"1.0\" standalone='yes' ?>\r\n"};

}  // namespace

std::string XmlDocumentGenerator::Document() {
  std::string out = Below(8) == 0 ? "\xEF\xBB\xBF" : "";
  out += Pick(kDeclarations);
  out += Misc();
  Element(out, 0);
  out += Misc();
  return out;
}

std::string XmlDocumentGenerator::Misc() {
  std::string out;
  for (std::size_t i = Below(3); i > 0; --i) out += Pick(kMisc);
  return out;
}

void XmlDocumentGenerator::Element(std::string& out, int depth) {
  const std::string name = Pick(kNames);
  out += "<" + name;
  const std::size_t attributes = Below(4);
  for (std::size_t i = 0; i < attributes; ++i) {
    const char quote = Below(2) ? '"' : '\'';
    out += (Below(3) == 0 ? "\n  " : " ") + std::string("at") + std::to_string(i) + (Below(4) == 0 ? " = " : "=");
    out += quote + AttributeValue(quote) + quote;
  }
  if (Below(5) == 0) {
    out += Below(2) ? "/>" : " />";
    return;
  }
  out += Below(6) == 0 ? " >" : ">";
  const std::size_t items = depth >= 5 ? Below(2) : Below(5);
  for (std::size_t i = 0; i < items; ++i) {
    if (Below(2)) {
      out += Text();
    } else {
      Element(out, depth + 1);
    }
  }
  out += "</" + name + (Below(6) == 0 ? "\n>" : ">");
}

std::string XmlDocumentGenerator::AttributeValue(char quote) {
  std::string value;
  for (std::size_t i = Below(4); i > 0; --i) value += Pick(kValuePieces);
  value += quote == '"' ? "'" : "\"";  // the other quote is plain text
  return value;
}

std::string XmlDocumentGenerator::Text() {
  std::string text;
  for (std::size_t i = 1 + Below(4); i > 0; --i) text += Pick(kTextPieces);
  return text;
}

std::string XmlDocumentGenerator::Mutate(const std::string& document, std::string& label) {
  std::string out = document;
  const auto find_any = [&](const std::string& what) -> std::size_t {
    std::size_t hits = 0;
    for (std::size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1)) ++hits;
    if (hits == 0) return std::string::npos;
    std::size_t pick = Below(hits);
    std::size_t at = out.find(what);
    while (pick-- > 0) at = out.find(what, at + 1);
    return at;
  };
  const std::size_t anywhere = Below(out.size() + 1);
  static const char* const kInsertions[] = {
      "&bogus;", "&#0;", "&#xD800;", "& ", "&#x110000;", "&#;", "&#x;", "&amp", "\xC0\xAF", "\xED\xA0\x80", "\xFF",
      "\xF4\x90\x80\x80", "\xE2\x82", "\x01", "\x0B", "" /* one NUL byte */, "<", "]]>", "<!-- a -- b -->",
      "<![CDATA[", "<?xml version=\"1.0\"?>", "<!DOCTYPE r>", "<!ELEMENT a ANY>", "<b>", "</b>", "<a/>", "x", "<",
      "\"", "'", "<?xml-stylesheet href='x'?>", "<?XML x?>", "<? x?>", "<?pi"};
  switch (Below(8)) {
    case 0: {
      label = "drop a '>'";
      const std::size_t at = find_any(">");
      if (at != std::string::npos) out.erase(at, 1);
      break;
    }
    case 1: {
      label = "mismatch an end tag";
      const std::size_t at = find_any("</");
      if (at != std::string::npos) out.insert(at + 2, "z");
      break;
    }
    case 2: {
      label = "insert markup or bytes";
      const char* insertion = Pick(kInsertions);
      out.insert(anywhere, insertion, insertion[0] == '\0' ? 1 : std::char_traits<char>::length(insertion));
      break;
    }
    case 3:
      label = "truncate";
      out.resize(anywhere);
      break;
    case 4:
      label = "delete a byte";
      if (!out.empty()) out.erase(Below(out.size()), 1);
      break;
    case 5: {
      label = "duplicate an attribute";
      const std::size_t at = find_any(" at0=");
      if (at != std::string::npos) out.insert(at, " at0='x'");
      break;
    }
    case 6: {
      label = "replace a byte";
      if (!out.empty()) out[Below(out.size())] = static_cast<char>(Below(256));
      break;
    }
    default:
      label = "text around the root";
      out += Below(2) ? "tail" : "<second/>";
      break;
  }
  return out;
}

}  // namespace vesk::test
