// A second opinion on XML: feeds generated documents, their mutations and the
// committed fuzz corpus to our parser and to libxml2, and checks that both
// agree on well-formedness and, for well-formed documents, on the element
// tree (names, attributes in order, text runs) and its texts.
//
// Left out of the comparison by rule, as outside what our element supports:
//  - documents with a DOCTYPE: we reject them by design (checked here, as
//    are the two rules of RuleFor where libxml2 is laxer than XML);
//  - a declared encoding other than UTF-8: we read every document as UTF-8;
//  - nesting deeper than XmlElement::kMaxDepth: our documented limit (checked);
//  - namespaces (a name with ':' or an xmlns attribute): libxml2 checks
//    namespace rules and keeps xmlns apart from the attributes; we treat
//    such names as plain names.

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "host/Failure.h"
#include "host/XmlDocument.h"
#include "host/XmlDocumentGenerator.h"
#include "host/XmlElement.h"
#include "host/XmlParser.h"

namespace vesk {
namespace {

struct Verdict {
  bool well_formed = false;
  bool namespaces = false;
  bool doctype = false;  // libxml2 read a document type declaration
  int depth = 0;         // of libxml2's tree
  std::string tree;   // canonical form, see Describe
  std::string error;  // why it is not well-formed
};

// Texts with their length, so that no text can imitate the markup around it.
std::string Quoted(std::string_view text) { return "[" + std::to_string(text.size()) + ":" + std::string(text) + "]"; }

bool IsNamespaced(std::string_view name) { return name.find(':') != std::string::npos || name == "xmlns"; }

// <name attribute[value]...>T[text]<child>...</>, text runs merged across
// comments and processing instructions, empty runs left out.
void Describe(const XmlDocument& document, XmlId id, Verdict& verdict) {
  const XmlNode& node = document.node(id);
  const std::string_view name = document.Text(node);
  verdict.tree += "<" + std::string(name);
  verdict.namespaces = verdict.namespaces || IsNamespaced(name);
  for (XmlId a = document.FirstAttribute(id); a != 0; a = document.NextAttribute(a)) {
    const XmlAttribute& attribute = document.attribute(a);
    verdict.tree += " " + std::string(document.Name(attribute)) + Quoted(document.Value(attribute));
    verdict.namespaces = verdict.namespaces || IsNamespaced(document.Name(attribute));
  }
  verdict.tree += ">";
  for (XmlId item = node.first_child; item != 0; item = document.node(item).next_sibling) {
    if (!document.node(item).is_text()) {
      Describe(document, item, verdict);
    } else if (document.node(item).size() != 0) {
      verdict.tree += "T" + Quoted(document.Text(document.node(item)));
    }
  }
  verdict.tree += "</>";
}

Verdict Ours(const std::string& text) {
  Verdict verdict;
  try {
    XmlElement().LoadXml(text);
  } catch (const Failure& failure) {
    verdict.error = failure.description();
    return verdict;
  }
  XmlDocument document;
  Describe(document, XmlParser(text, document).Parse(), verdict);
  verdict.well_formed = true;
  return verdict;
}

std::string String(const xmlChar* text) { return text == nullptr ? "" : reinterpret_cast<const char*>(text); }

std::string QualifiedName(const xmlChar* name, const xmlNs* ns) {
  return ns != nullptr && ns->prefix != nullptr ? String(ns->prefix) + ":" + String(name) : String(name);
}

void Describe(const xmlNode& node, Verdict& verdict, int depth = 1) {
  verdict.depth = std::max(verdict.depth, depth);
  verdict.tree += "<" + QualifiedName(node.name, node.ns);
  verdict.namespaces = verdict.namespaces || node.ns != nullptr || node.nsDef != nullptr;
  for (const xmlAttr* attribute = node.properties; attribute != nullptr; attribute = attribute->next) {
    const std::unique_ptr<xmlChar, void (*)(xmlChar*)> value(
        xmlNodeListGetString(node.doc, attribute->children, 1), [](xmlChar* p) { xmlFree(p); });
    verdict.tree += " " + QualifiedName(attribute->name, attribute->ns) + Quoted(String(value.get()));
    verdict.namespaces = verdict.namespaces || attribute->ns != nullptr;
  }
  verdict.tree += ">";
  std::string run;
  const auto flush = [&] {
    if (!run.empty()) verdict.tree += "T" + Quoted(run);
    run.clear();
  };
  for (const xmlNode* child = node.children; child != nullptr; child = child->next) {
    if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
      run += String(child->content);
    } else if (child->type == XML_ELEMENT_NODE) {
      flush();
      Describe(*child, verdict, depth + 1);
    } else if (child->type != XML_COMMENT_NODE && child->type != XML_PI_NODE) {
      run += "{node type " + std::to_string(child->type) + "}";  // never expected; shows up as a difference
    }
  }
  flush();
  verdict.tree += "</>";
}

Verdict Libxml2(const std::string& text) {
  Verdict verdict;
  const std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxt*)> context(xmlNewParserCtxt(), xmlFreeParserCtxt);
  if (!context) throw std::bad_alloc();
  // No network, no recovery, no substitution beyond the predefined entities,
  // and the bytes read as UTF-8 as ours are.
  const std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> document(
      xmlCtxtReadMemory(context.get(), text.data(), static_cast<int>(text.size()), "input.xml", "UTF-8",
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      xmlFreeDoc);
  if (!document) {
    const xmlError* error = xmlCtxtGetLastError(context.get());
    verdict.error = error != nullptr && error->message != nullptr ? error->message : "(no message)";
    return verdict;
  }
  Describe(*xmlDocGetRootElement(document.get()), verdict);
  verdict.doctype = document->intSubset != nullptr;
  verdict.well_formed = true;
  return verdict;
}

// The XML declaration by the grammar, with the encoding name in group 1.
const std::regex kDeclaration(
    R"x(<\?xml\s+version\s*=\s*("1\.[0-9]+"|'1\.[0-9]+'))x"
    R"x((?:\s+encoding\s*=\s*(?:"([A-Za-z][A-Za-z0-9._-]*)"|'([A-Za-z][A-Za-z0-9._-]*)'))?)x"
    R"x((?:\s+standalone\s*=\s*(?:"(?:yes|no)"|'(?:yes|no)'))?\s*\?>)x");

enum class Rule { kCompare, kMustReject, kEncoding };

// Whether `text` is compared with libxml2. Besides what our element does not
// support (see the top), libxml2 is no judge of two things we must reject:
// an XML declaration against the grammar (it takes "1." as a version and
// pseudo-attributes without blanks between them) and a NUL byte (it stops
// reading there, so a NUL after the root passes).
Rule RuleFor(const std::string& text, const char*& why) {
  if (text.find('\0') != std::string::npos) return why = "NUL", Rule::kMustReject;
  const std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  if (text.compare(start, 5, "<?xml") != 0 || text.size() == start + 5 ||
      !(std::isspace(static_cast<unsigned char>(text[start + 5])) || text[start + 5] == '?')) {
    return Rule::kCompare;  // no declaration
  }
  std::smatch match;
  const std::string declaration = text.substr(start, text.find("?>", start) + 2 - start);
  if (!std::regex_match(declaration, match, kDeclaration)) return why = "declaration", Rule::kMustReject;
  std::string encoding = match[2].matched ? match[2].str() : match[3].str();
  std::transform(encoding.begin(), encoding.end(), encoding.begin(), [](unsigned char c) { return std::tolower(c); });
  if (!encoding.empty() && encoding != "utf-8") return why = "encoding", Rule::kEncoding;
  return Rule::kCompare;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (const unsigned char c : text.substr(0, 300)) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
    out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(escaped);
  }
  return out;
}

struct Tally {
  int compared = 0;
  int well_formed = 0;
  int stricter_by_rule = 0;  // we reject (DOCTYPE, NUL, declaration), libxml2 accepts
  int encoding = 0;
  int namespaces = 0;
};

// Compares one input; a difference is a test failure naming the input.
void Compare(const std::string& label, const std::string& text, Tally& tally) {
  const char* why = "";
  const Rule rule = RuleFor(text, why);
  if (rule == Rule::kEncoding) {
    ++tally.encoding;
    return;
  }
  const Verdict ours = Ours(text);
  const Verdict theirs = Libxml2(text);
  if (theirs.doctype) why = "DOCTYPE";
  if (theirs.depth > XmlElement::kMaxDepth) why = "our nesting limit";
  if (rule == Rule::kMustReject || theirs.doctype || theirs.depth > XmlElement::kMaxDepth) {
    // Ours must reject; libxml2 is no judge here, but agrees when it rejects too.
    EXPECT_FALSE(ours.well_formed) << label << ": must be rejected (" << why << "): " << Printable(text);
    if (theirs.well_formed) {
      ++tally.stricter_by_rule;
      return;
    }
  } else if (ours.namespaces || theirs.namespaces) {
    ++tally.namespaces;
    return;
  }
  ++tally.compared;
  tally.well_formed += ours.well_formed ? 1 : 0;
  EXPECT_EQ(ours.well_formed, theirs.well_formed)
      << label << ": " << Printable(text) << "\n  ours: " << ours.error << "\n  libxml2: " << theirs.error;
  if (ours.well_formed && theirs.well_formed) {
    EXPECT_EQ(ours.tree, theirs.tree) << label << ": " << Printable(text);
  }
}

void Report(const char* what, const Tally& tally) {
  std::printf("%s: compared %d documents (%d well-formed, %d not); by rule: %d rejected where libxml2 accepts, "
              "%d other encodings and %d with namespaces left out\n",
              what, tally.compared, tally.well_formed, tally.compared - tally.well_formed, tally.stricter_by_rule,
              tally.encoding, tally.namespaces);
}

TEST(XmlDifferential, CanonicalFormsOfBothParsersMatchKnownTrees) {
  // Guards the comparison itself: both descriptions are what they should be.
  struct Row {
    const char* label;
    const char* text;
    const char* tree;
  } rows[] = {
      {"empty", "<a/>", "<a></>"},
      {"attributes in order", "<a y='2' x=\"1\"/>", "<a y[1:2] x[1:1]></>"},
      {"text merged over comment and CDATA", "<a>t<!--c--><![CDATA[<u>]]><?p?>v</a>", "<a>T[5:t<u>v]</>"},
      {"children between runs", "<a>x<b/>y<c>z</c></a>", "<a>T[1:x]<b></>T[1:y]<c>T[1:z]</></>"},
      {"references and blanks", "<a v='&lt;&#9;\n'>&amp;&#x41;\r\n</a>", "<a v[3:<\t ]>T[3:&A\n]</>"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Ours(row.text).tree, row.tree) << row.label;
    EXPECT_EQ(Libxml2(row.text).tree, row.tree) << row.label;
  }
  EXPECT_FALSE(Libxml2("<a>").well_formed);
  EXPECT_TRUE(Libxml2("<a:b xmlns:a='urn:x'/>").namespaces);
}

TEST(XmlDifferential, GeneratedDocumentsAndMutationsAgreeWithLibxml2) {
  test::XmlDocumentGenerator generator(20240607);
  Tally tally;
  for (int i = 0; i < 3000; ++i) {
    const std::string document = generator.Document();
    Compare("generated #" + std::to_string(i), document, tally);
    for (int m = 0; m < 3; ++m) {
      std::string how;
      const std::string mutated = generator.Mutate(document, how);
      Compare("generated #" + std::to_string(i) + ", " + how, mutated, tally);
    }
  }
  Report("generated", tally);
  EXPECT_GT(tally.well_formed, 3000);
  EXPECT_GT(tally.compared - tally.well_formed, 3000);
}

TEST(XmlDifferential, HandwrittenBordersAgreeWithLibxml2) {
  const auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<d>";
    for (int i = 0; i < depth; ++i) text += "</d>";
    return text;
  };
  const std::string rows[] = {
      nested(XmlElement::kMaxDepth), nested(XmlElement::kMaxDepth + 1),
      " <?xml version='1.0'?><a/>", "<?xml version='1.0'?><a/><?xml version='1.0'?>", "<a><?xml x?></a>",
      "<a><?XmL x?></a>", "<a><?xml-x y?></a>", "<xmlfoo xmlbar='1'/>", "<a>&#xFFFE;</a>", "<a>&#xFFFD;&#x85;</a>",
      "<a>\xC2\x85\xC2\x9F\x7F</a>", "<a>\xEF\xBF\xBE</a>", "<a b='\r\n\r'>\r\r\n</a>", "<a>]]]></a>",
      "<a>]]]]&gt;</a>", "<a><!--a--->", "<a><!-- - --></a>", "<a><![CDATA[]]]]><![CDATA[>]]></a>", "<a></a >",
      "<a></ a>", "< a/>", "<a/ >", "<a b='1'c='2'/>", "<a b = '1' />", "<a>&#x0000000041;&#0000065;</a>",
      "<a>&#X41;</a>", "<a>&#x;</a>", "<\xCC\x80/>", "<a\xCC\x80/>", "<a\xC2\xB7-.9/>",
      "\xEF\xBB\xBF<a/>", "\xEF\xBB\xBF\xEF\xBB\xBF<a/>", "<a/>\xEF\xBB\xBF", "<?xml version='1.0'?>",
      "<!-- only -->", "<a>\t\n</a>\r\n\t ", "<?xml version='1.0' standalone='yes' encoding='UTF-8'?><a/>",
  };
  Tally tally;
  int row = 0;
  for (const std::string& text : rows) Compare("row " + std::to_string(row++), text, tally);
  Report("handwritten", tally);
  EXPECT_EQ(tally.compared + tally.stricter_by_rule, row);
}

// The committed fuzz corpus, and the folder VESK_XML_CORPUS names when set
// (a corpus a longer local fuzz run grew).
TEST(XmlDifferential, FuzzCorpusAgreesWithLibxml2) {
  std::vector<std::string> folders{VESK_FUZZ_CORPUS_DIR};
  if (const char* extra = std::getenv("VESK_XML_CORPUS")) folders.emplace_back(extra);
  Tally tally;
  for (const std::string& folder : folders) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream file(entry.path(), std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
      Compare(entry.path().filename().string(), text, tally);
    }
  }
  Report("fuzz corpus", tally);
  EXPECT_GT(tally.compared, 20);
}

}  // namespace
}  // namespace vesk
