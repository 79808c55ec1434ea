#include "platform/linux/posix/ShellWords.h"

namespace vesk::platform::linux_backend {
namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
}  // namespace

ShellWords::ShellWords(std::string_view text) {
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsBlank(c)) {
      if (in_word) words_.push_back(std::move(word));
      word.clear();
      in_word = false;
      continue;
    }
    if (c == '\\') {
      if (i + 1 == text.size()) {
        word += c;
      } else if (text[++i] == '\n') {
        continue;  // a line continuation neither starts nor ends a word
      } else {
        word += text[i];
      }
    } else if (c == '\'' || c == '"') {
      const std::size_t close =
          c == '\'' ? TakeSingleQuoted(text, i, word) : TakeDoubleQuoted(text, i, word);
      if (close == std::string_view::npos) {
        Fail(c == '\'' ? "single" : "double", i);
        return;
      }
      i = close;
    } else {
      word += c;
    }
    in_word = true;
  }
  if (in_word) words_.push_back(std::move(word));
}

std::size_t ShellWords::TakeSingleQuoted(std::string_view text, std::size_t open, std::string& word) {
  const std::size_t close = text.find('\'', open + 1);
  if (close != std::string_view::npos) word.append(text.substr(open + 1, close - open - 1));
  return close;
}

std::size_t ShellWords::TakeDoubleQuoted(std::string_view text, std::size_t open, std::string& word) {
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') return i;
    if (c == '\\' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == '\n') {
        ++i;
        continue;
      }
      if (next == '\\' || next == '"' || next == '$' || next == '`') {
        word += next;
        ++i;
        continue;
      }
    }
    word += c;
  }
  return std::string_view::npos;
}

void ShellWords::Fail(const char* kind, std::size_t open) {
  words_.clear();
  error_ = std::string("unterminated ") + kind + " quote opened at offset " + std::to_string(open);
}

}  // namespace vesk::platform::linux_backend
