#include <gtest/gtest.h>

#include <string>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "host/XmlElement.h"

namespace vesk {
namespace {

// The failure `body` raises; a test failure (and a blank Failure) when none.
template <class Body>
Failure FailureOf(Body&& body) {
  try {
    body();
  } catch (const Failure& failure) {
    return failure;
  }
  ADD_FAILURE() << "no failure raised";
  return Failure(0, "", "");
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

const XmlElement kFresh;

TEST(XmlElement, ContractExamples) {
  XmlElement result = kFresh.CreateElement("result");
  EXPECT_EQ(result.GetXml(), "<result/>");
  result.AddElement("success", "");
  EXPECT_EQ(result.GetXml(), "<result><success/></result>");
  EXPECT_EQ(kFresh.LoadXml("<a><b>x</b><b> y </b></a>").GetElementText("b", 1), " y ");
}

TEST(XmlElement, FreshObjectIsOnlyAFactory) {
  XmlElement fresh;
  const XmlElement other = kFresh.CreateElement("o");
  EXPECT_FALSE(fresh.IsEmpty());
  for (const Failure& failure :
       {FailureOf([&] { fresh.GetXml(); }), FailureOf([&] { fresh.GetElement("a", 0); }),
        FailureOf([&] { fresh.GetElementText("a", 0); }), FailureOf([&] { fresh.AddElement("a", ""); }),
        FailureOf([&] { fresh.AppendElement(other); })}) {
    EXPECT_EQ(failure.number(), errors::kEmptyElement);
    EXPECT_EQ(failure.source(), "XmlElement");
  }
  // An element may serve as a factory too; what it makes is independent of it.
  XmlElement made = other.LoadXml("<b/>");
  made.AddElement("c", "");
  EXPECT_EQ(other.CreateElement("d", "t").GetXml(), "<d>t</d>");
  EXPECT_EQ(other.GetXml(), "<o/>");
  EXPECT_EQ(made.GetXml(), "<b><c/></b>");
}

TEST(XmlElement, EmptyElementFailsEverything) {
  XmlElement root = kFresh.LoadXml("<r><a/></r>");
  XmlElement missing = root.GetElement("b", 0);
  EXPECT_TRUE(missing.IsEmpty());
  EXPECT_TRUE(root.GetElement("a", 1).IsEmpty());
  EXPECT_FALSE(root.GetElement("a", 0).IsEmpty());
  EXPECT_EQ(root.GetElementText("b", 0), "");
  for (const Failure& failure :
       {FailureOf([&] { missing.GetXml(); }), FailureOf([&] { missing.GetElement("a", 0); }),
        FailureOf([&] { missing.GetElementText("a", 0); }), FailureOf([&] { missing.AddElement("a", ""); }),
        FailureOf([&] { missing.AppendElement(root); }), FailureOf([&] { missing.LoadXml("<a/>"); }),
        FailureOf([&] { missing.CreateElement("a"); }), FailureOf([&] { root.AppendElement(missing); }),
        FailureOf([&] { root.AppendElement(kFresh); })}) {
    EXPECT_EQ(failure.number(), errors::kEmptyElement) << failure.description();
  }
  EXPECT_EQ(root.GetXml(), "<r><a/></r>");
}

TEST(XmlElement, NamesTextsAndIndexesAreChecked) {
  struct Row {
    const char* label;
    std::string name;
    bool valid;
  } rows[] = {
      {"ascii", "a", true},
      {"underscore, colon", "_x:y", true},
      {"digits later", "a-1.b", true},
      {"latin letter", "\xC3\xA9t\xC3\xA9", true},
      {"middle dot later", "a\xC2\xB7", true},
      {"astral start", "\xF0\x90\x80\x80z", true},
      {"empty", "", false},
      {"digit first", "1a", false},
      {"hyphen first", "-a", false},
      {"blank inside", "a b", false},
      {"angle", "a<", false},
      {"times sign", "\xC3\x97", false},
      {"middle dot first", "\xC2\xB7", false},
      {"truncated UTF-8", "a\xC3", false},
      {"bad byte", "a\xFF", false},
  };
  XmlElement root = kFresh.CreateElement("r");
  for (const Row& row : rows) {
    if (row.valid) {
      EXPECT_EQ(kFresh.CreateElement(row.name).GetXml(), "<" + row.name + "/>") << row.label;
      EXPECT_NO_THROW(root.AddElement(row.name, "")) << row.label;
      EXPECT_FALSE(root.GetElement(row.name, 0).IsEmpty()) << row.label;
    } else {
      EXPECT_EQ(FailureOf([&] { kFresh.CreateElement(row.name); }).number(), errors::kInvalidArgument) << row.label;
      EXPECT_EQ(FailureOf([&] { root.AddElement(row.name, ""); }).number(), errors::kInvalidArgument) << row.label;
      EXPECT_TRUE(root.GetElement(row.name, 0).IsEmpty()) << row.label;  // matches no child
      EXPECT_EQ(root.GetElementText(row.name, 0), "") << row.label;
    }
  }
  for (const std::string text : {"\x01", "a\x0B", "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\xED\xA0\x80", "\xC0\xAF",
                                 "\xF4\x90\x80\x80", "\xE2\x82", "\x80"}) {
    EXPECT_EQ(FailureOf([&] { kFresh.CreateElement("t", text); }).number(), errors::kInvalidArgument) << text;
    EXPECT_EQ(FailureOf([&] { root.AddElement("t", text); }).number(), errors::kInvalidArgument) << text;
  }
  EXPECT_EQ(FailureOf([&] { root.GetElement("a", -1); }).number(), errors::kInvalidArgument);
  EXPECT_EQ(FailureOf([&] { root.GetElementText("a", -1); }).number(), errors::kInvalidArgument);
}

TEST(XmlElement, MalformedInputsNameWhatAndWhere) {
  struct Row {
    const char* label;
    std::string xml;
    const char* where_and_what;
  } rows[] = {
      {"nothing", "", "line 1, column 1: no root element"},
      {"blanks only", "  \n ", "line 2, column 2: no root element"},
      {"comment only", "<!-- only -->", "line 1, column 14: no root element"},
      {"unclosed root", "<a>", "line 1, column 1: element 'a' is not closed"},
      {"unclosed inner", "<a>\n  <b>text", "line 2, column 3: element 'b' is not closed"},
      {"mismatched end", "<a></b>", "line 1, column 4: end tag 'b' does not match start tag 'a'"},
      {"end after CRLFs", "<a>\r\n\r\n<b>\r</c>", "line 4, column 1: end tag 'c' does not match start tag 'b'"},
      {"BOM not counted", "\xEF\xBB\xBF<a></b>", "line 1, column 4: end tag 'b' does not match start tag 'a'"},
      {"truncated end tag", "<a></a", "line 1, column 7: unexpected end of input"},
      {"second root", "<a/><b/>", "line 1, column 5: second root element"},
      {"end tag after root", "<a/></a>", "line 1, column 5: end tag outside the root element"},
      {"text after root", "<a></a >x", "line 1, column 9: text outside the root element"},
      {"text before root", "x<a/>", "line 1, column 1: text outside the root element"},
      {"blank after angle", "< a/>", "line 1, column 2: expected an element name"},
      {"CDATA before root", "<![CDATA[x]]><a/>", "line 1, column 1: markup not allowed outside the root element"},
      {"blank after angle after root", "<a/>< a/>", "line 1, column 5: markup not allowed outside the root element"},
      {"inner blank name", "<a>< b/></a>", "line 1, column 5: expected an element name"},
      {"digit name", "<1a/>", "line 1, column 2: expected an element name"},
      {"doctype", "<!DOCTYPE a><a/>", "line 1, column 1: DOCTYPE is not supported"},
      {"inner doctype", "<a><!DOCTYPE x></a>", "line 1, column 4: DOCTYPE is not supported"},
      {"other markup", "<a><!ELEMENT x></a>", "line 1, column 4: invalid markup '<!'"},
      {"undefined entity", "<a>&nbsp;</a>", "line 1, column 4: undefined entity 'nbsp'"},
      {"entity in value", "<a x='&unknown;'/>", "line 1, column 7: undefined entity 'unknown'"},
      {"entity without ;", "<a>&amp</a>", "line 1, column 4: '&' does not start a reference (write &amp;)"},
      {"bare &", "<a>a & b</a>", "line 1, column 6: '&' does not start a reference (write &amp;)"},
      {"empty char ref", "<a>&#;</a>", "line 1, column 4: invalid character reference"},
      {"upper X char ref", "<a>&#X41;</a>", "line 1, column 4: invalid character reference"},
      {"NUL char ref", "<a>&#0;</a>", "line 1, column 4: character reference to a character that XML does not allow"},
      {"surrogate ref", "<a>&#xD800;</a>",
       "line 1, column 4: character reference to a character that XML does not allow"},
      {"too large ref", "<a>&#x110000;</a>",
       "line 1, column 4: character reference to a character that XML does not allow"},
      {"huge ref", "<a>&#99999999999999;</a>",
       "line 1, column 4: character reference to a character that XML does not allow"},
      {"]]> in text", "<a>x]]></a>", "line 1, column 5: ']]>' is not allowed in text"},
      {"duplicate attribute", "<a b='1' b=\"2\"/>", "line 1, column 10: duplicate attribute 'b'"},
      {"< in value", "<a b='<'/>", "line 1, column 7: '<' is not allowed in an attribute value"},
      {"unquoted value", "<a b=1/>", "line 1, column 6: expected a quoted attribute value"},
      {"missing =", "<a b/>", "line 1, column 5: expected '=' after the attribute name"},
      {"attributes run together", "<a b='1'c='2'/>", "line 1, column 9: expected whitespace before an attribute"},
      {"stray in tag", "<a %/>", "line 1, column 4: expected an attribute name, '>' or '/>'"},
      {"slash without >", "<a / >", "line 1, column 5: expected '>' after '/'"},
      {"unclosed value", "<a b='1", "line 1, column 8: unexpected end of input"},
      {"-- in comment", "<a><!-- x -- y --></a>", "line 1, column 11: '--' is not allowed inside a comment"},
      {"---> ending", "<a><!-- x ---></a>", "line 1, column 11: '--' is not allowed inside a comment"},
      {"unclosed comment", "<a><!-- open</a>", "line 1, column 4: comment is not closed"},
      {"unclosed CDATA", "<a><![CDATA[x</a>", "line 1, column 4: CDATA section is not closed"},
      {"unclosed PI", "<a><?pi x</a>", "line 1, column 4: processing instruction is not closed"},
      {"PI without target", "<a><? x?></a>", "line 1, column 6: expected a processing instruction target"},
      {"declaration inside", "<a><?xml version='1.0'?></a>",
       "line 1, column 4: XML declaration is only allowed at the very start"},
      {"declaration after blank", " <?xml version='1.0'?><a/>",
       "line 1, column 2: XML declaration is only allowed at the very start"},
      {"second declaration", "<?xml version='1.0'?><?xml version='1.0'?><a/>",
       "line 1, column 22: XML declaration is only allowed at the very start"},
      {"PI named XmL", "<a><?XmL x?></a>", "line 1, column 4: XML declaration is only allowed at the very start"},
      {"declaration without version", "<?xml?><a/>", "line 1, column 1: XML declaration without version"},
      {"encoding first", "<?xml encoding='UTF-8'?><a/>",
       "line 1, column 7: unexpected 'encoding' in the XML declaration"},
      {"bad version", "<?xml version='2.0'?><a/>", "line 1, column 16: invalid version in the XML declaration"},
      {"control char", "<a>\x01</a>", "line 1, column 4: character U+0001 is not allowed in XML"},
      {"control in value", "<a b='\x1F'/>", "line 1, column 7: character U+001F is not allowed in XML"},
      {"U+FFFE", "<a>\xEF\xBF\xBE</a>", "line 1, column 4: character U+FFFE is not allowed in XML"},
      {"control in comment", "<a><!--\x02--></a>", "line 1, column 8: character U+0002 is not allowed in XML"},
      {"overlong", "<a>\xC0\xAF</a>", "line 1, column 4: invalid UTF-8"},
      {"surrogate", "<a>\xED\xBF\xBF</a>", "line 1, column 4: invalid UTF-8"},
      {"beyond U+10FFFF", "<a>\xF4\x90\x80\x80</a>", "line 1, column 4: invalid UTF-8"},
      {"columns count characters", "<a>\xC3\xA9\xE2\x82\xAC\xFF</a>", "line 1, column 6: invalid UTF-8"},
      {"bad byte in name", "<a\xFF/>", "line 1, column 3: invalid UTF-8"},
      {"too deep", Repeat("<a>", 257), "line 1, column 769: elements nested deeper than 256"},
      {"NUL after <", std::string("<a><\0/a>", 8), "line 1, column 5: character U+0000 is not allowed in XML"},
      {"end tag extends the name", "<a1></a12>", "line 1, column 5: end tag 'a12' does not match start tag 'a1'"},
      {"control after plain words", "<a>0123456789\x01</a>",
       "line 1, column 14: character U+0001 is not allowed in XML"},
      {"bad byte after a word", "<a>01234567\xFF</a>", "line 1, column 12: invalid UTF-8"},
      {"]]> after a word", "<a>01234567]]></a>", "line 1, column 12: ']]>' is not allowed in text"},
  };
  for (const Row& row : rows) {
    const Failure failure = FailureOf([&] { kFresh.LoadXml(row.xml); });
    EXPECT_EQ(failure.number(), errors::kXmlParse) << row.label;
    EXPECT_EQ(failure.source(), "XmlElement") << row.label;
    EXPECT_EQ(failure.description(), std::string("XML parse error at ") + row.where_and_what) << row.label;
  }
}

TEST(XmlElement, AcceptedSyntaxIsReadAndWrittenCanonically) {
  struct Row {
    const char* label;
    std::string xml;
    std::string written;
  } rows[] = {
      {"prolog and epilog",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone='yes' ?>\n<!-- c -->"
       "<?pi data?>\n<a/>\n<!-- after --><?end?>\n",
       "<a/>"},
      {"blanks in tags", "<a\n  x = 'v'\r\n></a >", "<a x=\"v\"/>"},
      {"entities and references", "<a>&lt;&gt;&amp;&apos;&quot;&#65;&#x42;&#x1f600;</a>",
       "<a>&lt;&gt;&amp;'\"AB\xF0\x9F\x98\x80</a>"},
      {"CDATA", "<a><![CDATA[<b>&amp;]]]]><![CDATA[>]]><![CDATA[]]></a>", "<a>&lt;b&gt;&amp;amp;]]&gt;</a>"},
      {"PIs inside", "<a><?pi?><b/><?pi x ?></a>", "<a><b/></a>"},
      {"PI target starting xml", "<?xml-stylesheet href='x'?><a/>", "<a/>"},
      {"non-ASCII names", "<\xC3\xA4:b-1.x\xC2\xB7 y\xCC\x80='1'/>", "<\xC3\xA4:b-1.x\xC2\xB7 y\xCC\x80=\"1\"/>"},
      {"brackets in text", "<a>]] ]> ]</a>", "<a>]] ]&gt; ]</a>"},
      {"quotes in values", "<a x=\"'\" y='\"'/>", "<a x=\"'\" y=\"&quot;\"/>"},
      {"attribute order kept", "<a z='1' a=\"2\" m='&lt;&amp;>'/>", "<a z=\"1\" a=\"2\" m=\"&lt;&amp;>\"/>"},
      {"edge characters", "<a>\xF4\x8F\xBF\xBF\xEE\x80\x80\x7F</a>", "<a>\xF4\x8F\xBF\xBF\xEE\x80\x80\x7F</a>"},
      {"line ends in text", "<a>1\r\n2\r3\n</a>", "<a>1\n2\n3\n</a>"},
      {"line ends in CDATA", "<a><![CDATA[1\r\n2\r]]></a>", "<a>1\n2\n</a>"},
      {"escaped ]]>", "<a>]]&gt;</a>", "<a>]]&gt;</a>"},
      {"value normalisation", "<a v='1\t2\r\n3\r4\n5&#9;&#10;&#13;'/>", "<a v=\"1 2 3 4 5&#9;&#10;&#13;\"/>"},
      {"mixed content", "<a>one<b>x</b>two<!--c-->three<![CDATA[<4>]]><c/>five</a>",
       "<a>one<b>x</b>twothree&lt;4&gt;<c/>five</a>"},
      {"escapes across words", "<a>0123456&lt;89abcdef]]x&gt;0123456789&amp;&#13;</a>",
       "<a>0123456&lt;89abcdef]]x&gt;0123456789&amp;&#13;</a>"},
      {"escapes only", "<a v='" + Repeat("&quot;&lt;", 20) + "'>" + Repeat("&lt;", 40) + "</a>",
       "<a v=\"" + Repeat("&quot;&lt;", 20) + "\">" + Repeat("&lt;", 40) + "</a>"},
  };
  for (const Row& row : rows) {
    const std::string written = kFresh.LoadXml(row.xml).GetXml();
    EXPECT_EQ(written, row.written) << row.label;
    EXPECT_EQ(kFresh.LoadXml(written).GetXml(), written) << row.label;
  }
}

TEST(XmlElement, TextIsTheChildsOwnTextOnly) {
  const XmlElement r = kFresh.LoadXml(
      "<r><x><b>deep</b></x><b>1<i>no</i>2<![CDATA[3]]></b><b/><b> &#13;&#10;</b><a>one<b>x</b>two</a></r>");
  EXPECT_EQ(r.GetElementText("b", 0), "123");
  EXPECT_EQ(r.GetElementText("b", 1), "");
  EXPECT_EQ(r.GetElementText("b", 2), " \r\n");
  EXPECT_EQ(r.GetElementText("b", 3), "");
  EXPECT_TRUE(r.GetElement("b", 3).IsEmpty());
  EXPECT_EQ(r.GetElementText("a", 0), "onetwo");
  EXPECT_EQ(r.GetElementText("i", 0), "");
  EXPECT_EQ(r.GetElement("x", 0).GetElementText("b", 0), "deep");
  EXPECT_EQ(r.GetElement("b", 0).GetXml(), "<b>1<i>no</i>23</b>");
}

TEST(XmlElement, TrickyTextsSurviveARoundTrip) {
  const std::string texts[] = {
      "",
      " ",
      " lead and trail ",
      "\t\ttabs\t",
      "\r",
      "\r\n",
      "\n\n",
      "a\rb\r\nc\nd\r\r\n",
      "&<>\"'",
      "]]>",
      "&amp;&#13;",
      "<![CDATA[x]]>",
      "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
  };
  for (const std::string& text : texts) {
    XmlElement root = kFresh.CreateElement("r", text);
    root.AddElement("t", text);
    const std::string xml = root.GetXml();
    const XmlElement again = kFresh.LoadXml(xml);
    EXPECT_EQ(again.GetElementText("t", 0), text) << xml;
    EXPECT_EQ(again.GetXml(), xml);
    EXPECT_EQ(kFresh.LoadXml("<w>" + xml + "</w>").GetElementText("r", 0), text) << xml;
  }
  const std::string value = "<a v=\"&#9;&#10;&#13;&#13;&#10; &quot;&lt;&amp;>'\xC3\xA9\"/>";
  EXPECT_EQ(kFresh.LoadXml(value).GetXml(), value);
}

TEST(XmlElement, AppendCopiesTheSubtree) {
  XmlElement source = kFresh.LoadXml("<s a='1'>t<c>u</c>v</s>");
  XmlElement target = kFresh.CreateElement("d");
  target.AppendElement(source);
  source.AddElement("later", "");
  EXPECT_EQ(target.GetXml(), "<d><s a=\"1\">t<c>u</c>v</s></d>");
  target.AppendElement(target);  // into itself
  EXPECT_EQ(target.GetXml(), "<d><s a=\"1\">t<c>u</c>v</s><d><s a=\"1\">t<c>u</c>v</s></d></d>");

  // Into itself, with the document's records moving to larger storage halfway.
  const std::string body = "<g a=\"1\" b=\"2\">" + Repeat("<h>x</h>", 7) + "<h c=\"3\">z</h>";
  XmlElement grows = kFresh.LoadXml(body + "</g>");
  grows.AppendElement(grows);
  EXPECT_EQ(grows.GetXml(), body + body + "</g></g>");

  XmlElement root = kFresh.LoadXml("<r><k>1</k></r>");
  XmlElement k = root.GetElement("k", 0);
  k.AppendElement(root);  // an ancestor into its descendant
  EXPECT_EQ(root.GetXml(), "<r><k>1<r><k>1</k></r></k></r>");

  XmlElement child;
  {
    const XmlElement temporary = kFresh.LoadXml("<x><y>z</y><q b='c&amp;'>d&lt;</q></x>");
    root.AppendElement(temporary.GetElement("y", 0));
    root.AppendElement(temporary.GetElement("q", 0));
    child = temporary.GetElement("y", 0);  // keeps its document alive
  }
  {
    const XmlElement gone = kFresh.LoadXml("<x><y>z</y><q b='c&amp;'>d&lt;</q></x>");
    root.AppendElement(gone.GetElement("q", 0));
  }
  kFresh.LoadXml("<o><o>ooooooooooooooooooooooo</o><o b='ooooo'>ooooo</o></o>");  // may reuse freed memory
  EXPECT_EQ(root.GetElementText("y", 0), "z");
  child.AddElement("w", "1");
  EXPECT_EQ(child.GetXml(), "<y>z<w>1</w></y>");
  EXPECT_EQ(root.GetXml(),
            "<r><k>1<r><k>1</k></r></k><y>z</y><q b=\"c&amp;\">d&lt;</q><q b=\"c&amp;\">d&lt;</q></r>");
}

TEST(XmlElement, DepthIsLimited) {
  const std::string deepest = Repeat("<a>", XmlElement::kMaxDepth) + Repeat("</a>", XmlElement::kMaxDepth);
  EXPECT_EQ(kFresh.LoadXml(deepest).GetXml(), Repeat("<a>", 255) + "<a/>" + Repeat("</a>", 255));
  const struct {
    std::string xml;
    int column;  // of the 257th level's start tag
  } too_deep[] = {{Repeat("<a>", 100000), 769},
                  {Repeat("<a>", 100000) + Repeat("</a>", 100000), 769},
                  {Repeat("<a><b/>", 100000), 7 * 255 + 4}};
  for (const auto& row : too_deep) {
    EXPECT_EQ(FailureOf([&] { kFresh.LoadXml(row.xml); }).description(),
              "XML parse error at line 1, column " + std::to_string(row.column) + ": elements nested deeper than 256");
  }

  XmlElement root = kFresh.CreateElement("n");
  XmlElement bottom = root;
  for (int depth = 2; depth <= XmlElement::kMaxDepth; ++depth) {
    bottom.AddElement("n", "");
    bottom = bottom.GetElement("n", 0);
  }
  EXPECT_EQ(FailureOf([&] { bottom.AddElement("n", ""); }).number(), errors::kInvalidArgument);
  const XmlElement loaded = kFresh.LoadXml(Repeat("<n>", 255) + Repeat("</n>", 255));
  XmlElement above = loaded;
  for (int depth = 2; depth <= 255; ++depth) above = above.GetElement("n", 0);
  const XmlElement pair = kFresh.LoadXml("<p><q/></p>");
  EXPECT_EQ(FailureOf([&] { above.AppendElement(pair); }).number(), errors::kInvalidArgument);
  EXPECT_EQ(FailureOf([&] { root.AppendElement(root); }).number(), errors::kInvalidArgument);
  EXPECT_NO_THROW(above.AppendElement(pair.GetElement("q", 0)));
  EXPECT_EQ(kFresh.LoadXml(loaded.GetXml()).GetXml(), Repeat("<n>", 255) + "<q/>" + Repeat("</n>", 255));
  EXPECT_EQ(kFresh.LoadXml(root.GetXml()).GetXml(), root.GetXml());
}

TEST(XmlElement, LargeInputsStayCorrect) {
  std::string big;
  for (int i = 0; i < 100000; ++i) big += "line & <tag> \r\n\xC3\xA9 ";  // under the size limit once escaped
  XmlElement root = kFresh.CreateElement("r");
  root.AddElement("t", big);
  EXPECT_TRUE(kFresh.LoadXml(root.GetXml()).GetElementText("t", 0) == big);

  const std::string wide = "<r>" + Repeat("<c/>", 200000) + "</r>";
  const XmlElement many = kFresh.LoadXml(wide);
  EXPECT_TRUE(many.GetXml() == wide);
  EXPECT_FALSE(many.GetElement("c", 199999).IsEmpty());
  EXPECT_TRUE(many.GetElement("c", 200000).IsEmpty());

  std::string attributes = "<a";
  for (int i = 0; i < 100000; ++i) attributes += " a" + std::to_string(i) + "=\"\"";
  EXPECT_TRUE(kFresh.LoadXml(attributes + "/>").GetXml() == attributes + "/>");  // no megabyte dumps
  const std::size_t column = attributes.size() + 2;
  EXPECT_EQ(FailureOf([&] { kFresh.LoadXml(attributes + " a7=\"\"/>"); }).description(),
            "XML parse error at line 1, column " + std::to_string(column) + ": duplicate attribute 'a7'");
}

// Texts long enough for the scans that test several bytes at once, with the
// one byte that needs a closer look at every offset.
TEST(XmlElement, SpecialBytesAtEveryOffsetOfLongTexts) {
  const struct {
    const char* label;
    std::string piece;
    bool valid;
  } rows[] = {
      {"ampersand", "&", true},   {"less-than", "<", true},         {"greater-than", ">", true},
      {"bracket", "]", true},     {"CR", "\r", true},               {"tab", "\t", true},
      {"DEL", "\x7F", true},      {"e acute", "\xC3\xA9", true},    {"control", "\x01", false},
      {"bad byte", "\xFF", false}, {"truncated UTF-8", "\xC3", false},
  };
  for (const auto& row : rows) {
    for (const std::size_t length : {8, 15, 16, 17, 33}) {
      for (std::size_t at = 0; at < length; ++at) {
        const std::string text = std::string(at, 'x') + row.piece + std::string(length - at - 1, 'y');
        const std::string where = std::string(row.label) + " at " + std::to_string(at) + " of " + std::to_string(length);
        if (!row.valid) {
          EXPECT_EQ(FailureOf([&] { kFresh.CreateElement("t", text); }).number(), errors::kInvalidArgument) << where;
          EXPECT_EQ(FailureOf([&] { kFresh.LoadXml("<t>" + text + "</t>"); }).number(), errors::kXmlParse) << where;
          continue;
        }
        const std::string xml = kFresh.CreateElement("t", text).GetXml();
        EXPECT_EQ(kFresh.LoadXml("<r>" + xml + "</r>").GetElementText("t", 0), text) << where;
      }
    }
  }
}

// End tags and child lookups compare names of every length around the sizes
// compared at once; a difference in the first or last character counts.
TEST(XmlElement, NamesOfEveryLengthAreComparedWhole) {
  for (std::size_t length = 1; length <= 20; ++length) {
    const std::string name(length, 'n');
    std::string last = name;
    last.back() = 'm';
    std::string first = name;
    first.front() = 'm';
    const XmlElement root = kFresh.LoadXml("<r><" + name + ">v</" + name + "><" + last + ">w</" + last + "></r>");
    EXPECT_EQ(root.GetElementText(name, 0), "v") << length;
    EXPECT_EQ(root.GetElementText(last, 0), "w") << length;
    EXPECT_TRUE(root.GetElement(first, 0).IsEmpty() || length == 1) << length;
    EXPECT_TRUE(root.GetElement(name + "n", 0).IsEmpty()) << length;
    for (const std::string& other : {last, first, name + "n", name.substr(1)}) {
      if (other.empty()) continue;
      EXPECT_EQ(FailureOf([&] { kFresh.LoadXml("<" + name + ">v</" + other + ">"); }).description(),
                "XML parse error at line 1, column " + std::to_string(length + 4) + ": end tag '" + other +
                    "' does not match start tag '" + name + "'")
          << length;
    }
  }
}

}  // namespace
}  // namespace vesk
