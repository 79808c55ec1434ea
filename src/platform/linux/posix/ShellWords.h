#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk::platform::linux_backend {

// A parameter text split into words by POSIX shell quoting rules, with no
// expansion of any kind: blanks (space, tab, newline) separate words; single
// quotes keep everything literally; inside double quotes a backslash escapes
// only \ " $ ` and newline; outside quotes a backslash escapes the next
// character; backslash-newline outside single quotes joins lines. $, *, ?, ~,
// `, #, ;, |, & and the like are ordinary characters. A backslash ending the
// text is kept literally.
class ShellWords {
 public:
  explicit ShellWords(std::string_view text);

  // False when the text has an unterminated quote; words() is then empty.
  bool ok() const noexcept { return error_.empty(); }
  const std::vector<std::string>& words() const noexcept { return words_; }
  // Names the unterminated quote and the byte offset where it opens.
  const std::string& error() const noexcept { return error_; }

 private:
  // Appends the quoted text opening at `open` to `word`; returns the offset
  // of the closing quote, or npos when there is none.
  static std::size_t TakeSingleQuoted(std::string_view text, std::size_t open, std::string& word);
  static std::size_t TakeDoubleQuoted(std::string_view text, std::size_t open, std::string& word);
  void Fail(const char* kind, std::size_t open);

  std::vector<std::string> words_;
  std::string error_;
};

}  // namespace vesk::platform::linux_backend
