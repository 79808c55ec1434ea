#include "host/XmlParser.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

constexpr bool IsAsciiNameStart(std::uint32_t c) {
  return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c == ':';
}

constexpr bool IsNameStartChar(std::uint32_t c) {
  if (c < 0x80) return IsAsciiNameStart(c);
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

constexpr bool IsNameChar(std::uint32_t c) {
  if (c < 0x80) return IsAsciiNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9');
  return IsNameStartChar(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Decodes the UTF-8 character at text[pos] into `c`; returns its length in
// bytes, or 0 when the bytes are not valid UTF-8 (truncated, overlong, a
// surrogate or beyond U+10FFFF).
std::size_t Decode(std::string_view text, std::size_t pos, std::uint32_t& c) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])); };
  const std::uint32_t lead = byte(pos);
  std::size_t length = 1;
  std::uint32_t least = 0;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint32_t next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

void AppendUtf8(XmlDocument::TextBuilder& out, std::uint32_t c) {
  const auto put = [&](std::uint32_t byte) { out += static_cast<char>(byte); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | (c >> 6)), put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | (c >> 18)), put(0x80 | ((c >> 12) & 0x3F)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
  }
}

std::string CharName(std::uint32_t c) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string digits;
  for (int shift = c > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4) digits += kHex[(c >> shift) & 0xF];
  return "U+" + digits;
}

// What each byte is in a name: kStart may start one, kFollow may only follow,
// kMultibyte leads a UTF-8 sequence that needs decoding (or is invalid).
enum : unsigned char { kStart = 1, kFollow = 2, kMultibyte = 4 };
constexpr std::array<unsigned char, 256> kNameClass = [] {
  std::array<unsigned char, 256> classes{};
  for (std::uint32_t c = 0; c < 256; ++c) {
    classes[c] = c >= 0x80 ? kMultibyte : IsAsciiNameStart(c) ? kStart | kFollow : IsNameChar(c) ? kFollow : 0;
  }
  return classes;
}();

// Length of the name character (`start`: one that may start a name) at
// text[pos] that needs decoding; 0 when there is none. Kept out of line so the
// ASCII loop of NameEnd stays small.
[[gnu::noinline]] std::size_t MultibyteNameChar(std::string_view text, std::size_t pos, bool start) {
  std::uint32_t c = 0;
  const std::size_t length = Decode(text, pos, c);
  return length != 0 && (start ? IsNameStartChar(c) : IsNameChar(c)) ? length : 0;
}

// End of the name whose character at text[pos] is a multibyte one (`start`:
// the name starts there); the general loop, kept out of line.
[[gnu::noinline]] std::size_t MultibyteNameEnd(std::string_view text, std::size_t pos, bool start) {
  const std::size_t size = text.size();
  while (pos < size) {
    const unsigned char kind = kNameClass[static_cast<unsigned char>(text[pos])];
    if (kind & (start ? kStart : kFollow)) {
      ++pos;
    } else if (kind != kMultibyte) {
      break;
    } else if (const std::size_t length = MultibyteNameChar(text, pos, start)) {
      pos += length;
    } else {
      break;
    }
    start = false;
  }
  return pos;
}

// End of the name starting at text[pos] (== pos when there is none). ASCII
// names stay in this small loop.
std::size_t NameEnd(std::string_view text, std::size_t pos) {
  const std::size_t size = text.size();
  if (pos == size) return pos;
  unsigned char kind = kNameClass[static_cast<unsigned char>(text[pos])];
  if ((kind & kStart) == 0) return kind == kMultibyte ? MultibyteNameEnd(text, pos, true) : pos;
  for (++pos; pos < size; ++pos) {
    kind = kNameClass[static_cast<unsigned char>(text[pos])];
    if ((kind & kFollow) == 0) return kind == kMultibyte ? MultibyteNameEnd(text, pos, false) : pos;
  }
  return pos;
}

// True when text[pos] continues a name (a name character, not necessarily one
// that may start a name).
bool ContinuesName(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return false;
  const unsigned char kind = kNameClass[static_cast<unsigned char>(text[pos])];
  if (kind != kMultibyte) return (kind & kFollow) != 0;
  std::uint32_t c = 0;
  return Decode(text, pos, c) != 0 && IsNameChar(c);
}

// Kept out of line so the end tag's usual path stays small.
[[gnu::noinline]] std::string MismatchedEndTag(std::string_view name, std::string_view open) {
  return "end tag '" + std::string(name) + "' does not match start tag '" + std::string(open) + "'";
}

// Word-at-a-time scanning: eight bytes are tested at once, and the byte loops
// only see the bytes that need a closer look.
constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighs = 0x8080808080808080;

std::uint64_t LoadWord(const char* bytes) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Nonzero when some byte of `word` equals `byte`.
constexpr std::uint64_t HasByte(std::uint64_t word, unsigned char byte) {
  const std::uint64_t x = word ^ (kOnes * byte);
  return (x - kOnes) & ~x & kHighs;
}

// Nonzero when some byte of `word` is a control character or not ASCII.
constexpr std::uint64_t HasNonPrintable(std::uint64_t word) { return ((word - kOnes * 0x20) | word) & kHighs; }

// The offset in its word of the first byte that `flags` (from the tests above)
// marks. Only the lowest marked byte is exact (borrows run upwards), so on a
// big-endian machine the whole word is left to the byte loops.
int FirstFlagged(std::uint64_t flags) {
  return std::endian::native == std::endian::little ? std::countr_zero(flags) / 8 : 0;
}

// Skips from `pos` over printable ASCII other than '<', '&' and ']', the
// bytes that text takes over unchanged, as far as whole words allow.
std::size_t SkipPlainText(std::string_view text, std::size_t pos) {
#if defined(__SSE2__)
  // Sixteen bytes at once where the machine has the instructions; the same
  // test as the words below (bytes from 0x80 are negative as signed bytes).
  while (text.size() - pos >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
    const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('<')),
                                                      _mm_cmpeq_epi8(block, _mm_set1_epi8('&'))),
                                         _mm_cmpeq_epi8(block, _mm_set1_epi8(']')));
    const __m128i printable = _mm_cmpgt_epi8(block, _mm_set1_epi8(0x1F));
    const auto stop = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(special, printable)) ^ 0xFFFF);
    if (stop != 0) return pos + static_cast<std::size_t>(std::countr_zero(stop));
    pos += 16;
  }
#endif
  while (text.size() - pos >= 8) {
    const std::uint64_t word = LoadWord(text.data() + pos);
    const std::uint64_t flags = HasNonPrintable(word) | HasByte(word, '<') | HasByte(word, '&') | HasByte(word, ']');
    if (flags != 0) return pos + FirstFlagged(flags);
    pos += 8;
  }
  return pos;
}

// ASCII bytes that text and attribute values take over without a closer look.
constexpr std::array<bool, 128> PlainBytes(std::string_view special, bool tab_and_lf) {
  std::array<bool, 128> plain{};
  for (std::size_t b = 0x20; b < 128; ++b) plain[b] = special.find(static_cast<char>(b)) == kNone;
  plain['\t'] = plain['\n'] = tab_and_lf;
  return plain;
}
constexpr std::array<bool, 128> kPlainText = PlainBytes("<&]", true);
constexpr std::array<bool, 128> kPlainValue = PlainBytes("<&\"'", false);

bool IsVersion(std::string_view v) {
  return v.size() > 2 && v.substr(0, 2) == "1." &&
         std::all_of(v.begin() + 2, v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsEncodingName(std::string_view v) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  return !v.empty() && letter(v[0]) && std::all_of(v.begin(), v.end(), [&](char c) {
    return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
  });
}

}  // namespace

XmlParser::XmlParser(std::string_view text, XmlDocument& document) : text_(text), document_(document) {
  document_.Keep(text);  // at offset 0: positions in the text are offsets in the document
}

bool XmlParser::IsName(std::string_view name) { return !name.empty() && NameEnd(name, 0) == name.size(); }

bool XmlParser::IsText(std::string_view text) {
  std::size_t pos = 0;
  const std::size_t size = text.size();
  if (size >= 8) {  // whole words, the last one overlapping: usually all printable ASCII
    for (; pos + 8 < size && HasNonPrintable(LoadWord(text.data() + pos)) == 0; pos += 8) {
    }
    if (pos + 8 >= size && HasNonPrintable(LoadWord(text.data() + size - 8)) == 0) return true;
  }
  while (pos < size) {
    std::uint32_t c = static_cast<unsigned char>(text[pos]);
    if (c >= 0x20 && c < 0x80) {
      ++pos;
      continue;
    }
    std::size_t length = 1;
    if (c >= 0x80 && (length = Decode(text, pos, c)) == 0) return false;
    if (!IsXmlChar(c)) return false;
    pos += length;
  }
  return true;
}

XmlId XmlParser::Parse() {
  const std::size_t size = text_.size();
  if (StartsWith("\xEF\xBB\xBF")) pos_ = origin_ = 3;
  if (StartsWith("<?xml") && (pos_ + 5 == size || IsSpace(text_[pos_ + 5]) || text_[pos_ + 5] == '?')) {
    ParseDeclaration();
  }
  ParseMisc(false);
  if (pos_ >= size) Fail(pos_, "no root element");
  ParseStartTag();
  while (!open_.empty()) {
    if (pos_ >= size) FailNotClosed();
    if (text_[pos_] != '<') {
      ParseText();
      continue;
    }
    const char next = pos_ + 1 < size ? text_[pos_ + 1] : ' ';  // tells the markup apart
    if (next == '/') {
      ParseEndTag();
    } else if (next == '?') {
      SkipProcessingInstruction();
    } else if (next != '!') {
      ParseStartTag();
    } else if (StartsWith("<!--")) {
      SkipComment();
    } else if (StartsWith("<![CDATA[")) {
      ParseCData();
    } else {
      Fail(pos_, StartsWith("<!DOCTYPE") ? "DOCTYPE is not supported" : "invalid markup '<!'");
    }
  }
  ParseMisc(true);
  return root_;
}

void XmlParser::Fail(std::size_t at, std::string_view what) const {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = origin_; i < at && i < text_.size(); ++i) {
    const char c = text_[i];
    if (c == '\r' || (c == '\n' && (i == origin_ || text_[i - 1] != '\r'))) {
      ++line, column = 1;
    } else if (c != '\n' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++column;
    }
  }
  throw Failure(errors::kXmlParse, "XmlElement",
                "XML parse error at line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                    std::string(what));
}

void XmlParser::FailNotClosed() const {
  Fail(open_.back().start, "element '" + std::string(OpenName()) + "' is not closed");
}

void XmlParser::Unexpected(const char* what) const {
  if (pos_ >= text_.size()) Fail(pos_, "unexpected end of input");
  std::uint32_t c = 0;
  if (Decode(text_, pos_, c) == 0) Fail(pos_, "invalid UTF-8");
  if (!IsXmlChar(c)) Fail(pos_, "character " + CharName(c) + " is not allowed in XML");
  Fail(pos_, what);
}

bool XmlParser::SkipMoreSpace() {
  const std::size_t start = pos_;
  while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
  return pos_ != start;
}

std::string_view XmlParser::ParseName() {
  const std::size_t start = pos_;
  pos_ = NameEnd(text_, pos_);
  return text_.substr(start, pos_ - start);
}

void XmlParser::SkipMultibyteChar() {
  std::uint32_t c = 0;
  const std::size_t length = Decode(text_, pos_, c);
  if (length == 0 || !IsXmlChar(c)) Unexpected("");
  pos_ += length;
}

// Checks that text_[from, to) holds only allowed characters; appends it to
// `out` (when given) with CR LF and lone CR turned into LF.
void XmlParser::CheckChars(std::size_t from, std::size_t to, XmlDocument::TextBuilder* out) {
  std::size_t chunk = from;
  for (pos_ = from; pos_ < to;) {
    std::uint32_t c = static_cast<unsigned char>(text_[pos_]);
    if (c >= 0x80) {
      SkipMultibyteChar();
    } else if (c >= 0x20 || c == '\t' || c == '\n') {
      ++pos_;
    } else if (c != '\r') {
      Unexpected("");
    } else {
      if (out) out->AppendSource(chunk, pos_ - chunk).push_back('\n');
      pos_ += pos_ + 1 < to && text_[pos_ + 1] == '\n' ? 2 : 1;
      chunk = pos_;
    }
  }
  if (out) out->AppendSource(chunk, to - chunk);
}

void XmlParser::ParseDeclaration() {
  const std::size_t start = pos_;
  pos_ += 5;
  int stage = 0;  // 1 after version, 2 after encoding, 3 after standalone
  for (;;) {
    const bool space = SkipSpace();
    if (StartsWith("?>")) {
      if (stage == 0) Fail(start, "XML declaration without version");
      pos_ += 2;
      return;
    }
    if (!space) Unexpected("expected '?>' to end the XML declaration");
    const std::size_t at = pos_;
    const std::string_view name = ParseName();
    if (name.empty()) Unexpected("expected version, encoding or standalone in the XML declaration");
    SkipSpace();
    if (!StartsWith("=")) Unexpected("expected '='");
    ++pos_;
    SkipSpace();
    if (!StartsWith("\"") && !StartsWith("'")) Unexpected("expected a quoted value");
    const std::size_t end = text_.find(text_[pos_], pos_ + 1);
    if (end == kNone) Fail(pos_, "quoted value is not closed");
    const std::string_view value = text_.substr(pos_ + 1, end - pos_ - 1);
    bool valid = false;
    if (name == "version" && stage == 0) {
      valid = IsVersion(value), stage = 1;
    } else if (name == "encoding" && stage == 1) {
      valid = IsEncodingName(value), stage = 2;
    } else if (name == "standalone" && (stage == 1 || stage == 2)) {
      valid = value == "yes" || value == "no", stage = 3;
    } else {
      Fail(at, "unexpected '" + std::string(name) + "' in the XML declaration");
    }
    if (!valid) Fail(pos_ + 1, "invalid " + std::string(name) + " in the XML declaration");
    pos_ = end + 1;
  }
}

void XmlParser::ParseMisc(bool after_root) {
  for (;;) {
    SkipSpace();
    if (pos_ >= text_.size()) return;
    if (!after_root && pos_ + 1 < text_.size() && text_[pos_] == '<' &&
        (kNameClass[static_cast<unsigned char>(text_[pos_ + 1])] & kStart) != 0) {
      return;  // the root's start tag, as usual at once
    }
    if (StartsWith("<!--")) {
      SkipComment();
    } else if (StartsWith("<?")) {
      SkipProcessingInstruction();
    } else if (StartsWith("<!DOCTYPE")) {
      Fail(pos_, "DOCTYPE is not supported");
    } else if (text_[pos_] != '<') {
      Unexpected("text outside the root element");
    } else if (StartsWith("</")) {
      Fail(pos_, "end tag outside the root element");
    } else if (!after_root && !StartsWith("<!")) {
      return;  // the root's start tag
    } else if (after_root && NameEnd(text_, pos_ + 1) > pos_ + 1) {
      Fail(pos_, "second root element");
    } else {
      Fail(pos_, "markup not allowed outside the root element");
    }
  }
}

void XmlParser::SkipComment() {
  const std::size_t start = pos_;
  const std::size_t end = text_.find("--", start + 4);
  if (end == kNone || end + 2 >= text_.size()) Fail(start, "comment is not closed");
  CheckChars(start + 4, end, nullptr);
  if (text_[end + 2] != '>') Fail(end, "'--' is not allowed inside a comment");
  pos_ = end + 3;
}

void XmlParser::SkipProcessingInstruction() {
  const std::size_t start = pos_;
  pos_ += 2;
  const std::string_view target = ParseName();
  if (target.empty()) Unexpected("expected a processing instruction target");
  if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l') {
    Fail(start, "XML declaration is only allowed at the very start");
  }
  if (StartsWith("?>")) {
    pos_ += 2;
    return;
  }
  if (!SkipSpace()) Unexpected("expected whitespace or '?>' after the processing instruction target");
  const std::size_t end = text_.find("?>", pos_);
  if (end == kNone) Fail(start, "processing instruction is not closed");
  CheckChars(pos_, end, nullptr);
  pos_ = end + 2;
}

void XmlParser::ParseStartTag() {
  const std::size_t start = pos_++;
  const std::size_t name_end = NameEnd(text_, pos_);
  if (name_end == pos_) Unexpected("expected an element name");
  const std::string_view name(text_.data() + pos_, name_end - pos_);
  pos_ = name_end;
  if (open_.size() >= static_cast<std::size_t>(kMaxDepth)) {
    Fail(start, "elements nested deeper than " + std::to_string(kMaxDepth));
  }
  const XmlId node = document_.NewElement(static_cast<std::uint32_t>(name.data() - text_.data()), name.size());
  if (open_.empty()) {
    root_ = node;
  } else {
    document_.Link(open_.back().node, open_.back().last_child, node);
  }
  if (pos_ < text_.size() && text_[pos_] == '>') {  // the usual tag without attributes
    ++pos_;
    open_.push_back({node, 0, start});
    return;
  }
  ParseStartTagRest(node, start);
}

void XmlParser::ParseStartTagRest(XmlId node, std::size_t start) {
  tag_attributes_ = 0;
  for (;;) {
    const bool space = pos_ < text_.size() && text_[pos_] != '>' && SkipSpace();  // '>' usually follows at once
    if (StartsWith(">")) {
      ++pos_;
      open_.push_back({node, 0, start});
      return;
    }
    if (StartsWith("/>")) {
      pos_ += 2;
      return;
    }
    if (StartsWith("/")) {
      ++pos_;
      Unexpected("expected '>' after '/'");
    }
    if (NameEnd(text_, pos_) == pos_) Unexpected("expected an attribute name, '>' or '/>'");
    if (!space) Unexpected("expected whitespace before an attribute");
    ParseAttribute(node);
  }
}

void XmlParser::ParseAttribute(XmlId node) {
  const std::size_t at = pos_;
  const std::string_view name = ParseName();
  CheckDuplicate(node, name, at);
  SkipSpace();
  if (!StartsWith("=")) Unexpected("expected '=' after the attribute name");
  ++pos_;
  SkipSpace();
  if (!StartsWith("\"") && !StartsWith("'")) Unexpected("expected a quoted attribute value");
  const char quote = text_[pos_++];
  XmlAttribute& attribute = document_.attribute(document_.AddAttribute(node, static_cast<std::uint32_t>(at), name.size()));
  XmlDocument::TextBuilder value(document_, attribute.value, attribute.value_length);
  for (std::size_t chunk = pos_;;) {
    if (pos_ >= text_.size()) Unexpected("");
    std::uint32_t c = static_cast<unsigned char>(text_[pos_]);
    if (c >= 0x80) {
      SkipMultibyteChar();
      continue;
    }
    if (kPlainValue[c] || ((c == '"' || c == '\'') && c != static_cast<unsigned char>(quote))) {
      ++pos_;
      continue;
    }
    value.AppendSource(chunk, pos_ - chunk);
    if (c == static_cast<unsigned char>(quote)) {
      ++pos_;
      return;
    }
    if (c == '<') Fail(pos_, "'<' is not allowed in an attribute value");
    if (c == '&') {
      ParseReference(value);
    } else if (c == '\t' || c == '\n' || c == '\r') {
      value += ' ';
      pos_ += c == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n' ? 2 : 1;
    } else {
      Unexpected("");
    }
    chunk = pos_;
  }
}

void XmlParser::CheckDuplicate(XmlId node, std::string_view name, std::size_t at) {
  constexpr std::uint32_t kLinearLimit = 16;  // beyond this a hash table keeps the check linear
  const XmlId first = node + 1;                // the tag's attributes are the records after it
  const XmlId count = tag_attributes_++;
  if (count < kLinearLimit) {
    for (XmlId id = first; id < first + count; ++id) {
      if (AttributeName(id) == name) Fail(at, "duplicate attribute '" + std::string(name) + "'");
    }
    return;
  }
  // Open addressing on the names' hashes, at most three quarters full; the
  // names are those of the records, so the table holds only their numbers.
  const auto slot = [&](std::string_view key) {
    const std::size_t mask = attribute_table_.size() - 1;
    std::size_t i = std::hash<std::string_view>()(key) & mask;
    while (attribute_table_[i] != 0 && AttributeName(attribute_table_[i]) != key) i = (i + 1) & mask;
    return i;
  };
  if (count == kLinearLimit || 4 * (std::size_t{count} + 1) > 3 * attribute_table_.size()) {
    attribute_table_.assign(count == kLinearLimit ? 4 * kLinearLimit : 2 * attribute_table_.size(), 0);
    for (XmlId id = first; id < first + count; ++id) attribute_table_[slot(AttributeName(id))] = id;
  }
  const std::size_t i = slot(name);
  if (attribute_table_[i] != 0) Fail(at, "duplicate attribute '" + std::string(name) + "'");
  attribute_table_[i] = first + count;  // the record AddAttribute adds next
}

void XmlParser::ParseEndTag() {
  // Usually the end tag names the open element with '>' right after it.
  const std::string_view open = OpenName();
  const std::size_t after = pos_ + 2 + open.size();
  if (after < text_.size() && text_[after] == '>' && SameChars(text_.data() + pos_ + 2, open.data(), open.size())) {
    pos_ = after + 1;
    open_.pop_back();
    return;
  }
  ParseOtherEndTag();
}

void XmlParser::ParseOtherEndTag() {
  const std::size_t start = pos_;
  pos_ += 2;
  const std::string_view open = OpenName();
  const std::size_t after = pos_ + open.size();
  const bool same = after <= text_.size() && SameChars(text_.data() + pos_, open.data(), open.size()) && !ContinuesName(text_, after);
  const std::string_view name = same ? text_.substr(pos_, open.size()) : ParseName();
  if (same) pos_ = after;
  if (name.empty()) Unexpected("expected an element name");
  if (!same && name != open) Fail(start, MismatchedEndTag(name, open));
  if (!StartsWith(">")) SkipSpace();
  if (!StartsWith(">")) Unexpected("expected '>'");
  ++pos_;
  open_.pop_back();
}

void XmlParser::ParseText() {
  Open& parent = open_.back();
  if (parent.last_child == 0 || !document_.node(parent.last_child).is_text()) {
    // Usually a new run of plain text that ends at markup: a view of the
    // kept source, found a word at a time.
    const std::size_t end = SkipPlainText(text_, pos_);
    if (end < text_.size() && text_[end] == '<') {
      const XmlId run = document_.NewRun(static_cast<std::uint32_t>(pos_), static_cast<std::uint32_t>(end - pos_));
      document_.Link(parent.node, parent.last_child, run);
      pos_ = end;
      return;
    }
  }
  XmlDocument::TextBuilder run = TextRun();
  const std::size_t size = text_.size();
  std::size_t chunk = pos_;
  while (pos_ < size) {
    pos_ = SkipPlainText(text_, pos_);
    if (pos_ == size) break;
    std::uint32_t c = static_cast<unsigned char>(text_[pos_]);
    if (c >= 0x80) {
      SkipMultibyteChar();
      continue;
    }
    if (kPlainText[c]) {
      ++pos_;
      continue;
    }
    if (c == ']') {
      if (StartsWith("]]>")) Fail(pos_, "']]>' is not allowed in text");
      ++pos_;
      continue;
    }
    run.AppendSource(chunk, pos_ - chunk);
    if (c == '<') return;
    if (c == '&') {
      ParseReference(run);
    } else if (c == '\r') {
      run += '\n';
      pos_ += pos_ + 1 < size && text_[pos_ + 1] == '\n' ? 2 : 1;
    } else {
      Unexpected("");
    }
    chunk = pos_;
  }
  run.AppendSource(chunk, pos_ - chunk);
}

XmlDocument::TextBuilder XmlParser::TextRun() {
  Open& open = open_.back();
  if (open.last_child == 0 || !document_.node(open.last_child).is_text()) {
    document_.Link(open.node, open.last_child, document_.NewRun(0, 0));
  }
  XmlNode& run = document_.node(open.last_child);
  return XmlDocument::TextBuilder(document_, run.chars, run.length);
}

void XmlParser::ParseCData() {
  const std::size_t start = pos_;
  const std::size_t end = text_.find("]]>", start + 9);
  if (end == kNone) Fail(start, "CDATA section is not closed");
  if (end > start + 9) {
    XmlDocument::TextBuilder run = TextRun();
    CheckChars(start + 9, end, &run);
  }
  pos_ = end + 3;
}

void XmlParser::ParseReference(XmlDocument::TextBuilder& out) {
  const std::size_t start = pos_++;
  const std::size_t size = text_.size();
  if (StartsWith("#")) {
    const bool hex = ++pos_ < size && text_[pos_] == 'x';
    if (hex) ++pos_;
    std::uint32_t value = 0;
    const std::size_t first_digit = pos_;
    for (; pos_ < size; ++pos_) {
      const char d = text_[pos_];
      std::uint32_t digit = 0;
      if (d >= '0' && d <= '9') {
        digit = static_cast<std::uint32_t>(d - '0');
      } else if (hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f') {
        digit = static_cast<std::uint32_t>((d | 0x20) - 'a' + 10);
      } else {
        break;
      }
      value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);  // stays out of range once there
    }
    if (pos_ == first_digit || !StartsWith(";")) Fail(start, "invalid character reference");
    ++pos_;
    if (!IsXmlChar(value)) Fail(start, "character reference to a character that XML does not allow");
    AppendUtf8(out, value);
    return;
  }
  const std::string_view name = ParseName();
  if (name.empty() || !StartsWith(";")) Fail(start, "'&' does not start a reference (write &amp;)");
  ++pos_;
  if (name == "lt") {
    out += '<';
  } else if (name == "gt") {
    out += '>';
  } else if (name == "amp") {
    out += '&';
  } else if (name == "apos") {
    out += '\'';
  } else if (name == "quot") {
    out += '"';
  } else {
    Fail(start, "undefined entity '" + std::string(name) + "'");
  }
}

}  // namespace vesk
