#include "platform/linux/posix/ShellWords.h"

#include <gtest/gtest.h>

namespace vesk::platform::linux_backend {
namespace {

struct SplitRow {
  const char* label;
  std::string text;
  std::vector<std::string> words;
};

TEST(ShellWords, SplitsByPosixQuotingRules) {
  const SplitRow rows[] = {
      {"empty", "", {}},
      {"blanks only", " \t\n ", {}},
      {"space, tab and newline separate", "  a  b\tc\nd ", {"a", "b", "c", "d"}},
      {"single quotes are literal", R"('a b' 'c\d' '"' 'x\')", {"a b", R"(c\d)", "\"", "x\\"}},
      {"double quotes escape \\ \" $ `", R"("a\"b" "\\" "\$x" "\`")", {"a\"b", "\\", "$x", "`"}},
      {"double quotes keep other backslashes", R"("a\nb" "\'")", {R"(a\nb)", R"(\')"}},
      {"backslash outside quotes", R"(a\ b \'c\" \\ \x)", {"a b", "'c\"", "\\", "x"}},
      {"backslash-newline joins", "ab\\\ncd a \\\n b \"x\\\ny\"", {"abcd", "a", "b", "xy"}},
      {"backslash-newline in single quotes", "'a\\\nb'", {"a\\\nb"}},
      {"trailing backslash kept", "a\\", {"a\\"}},
      {"empty words", R"("" '' a "" b)", {"", "", "a", "", "b"}},
      {"adjacent quoting forms one word", R"(a"b c"'d e'f\ g)", {"ab cd ef g"}},
      {"quoted blanks", "'\t' \"a\nb\"", {"\t", "a\nb"}},
      {"no expansion", "$HOME * ~ ~/x `id` $(id) ${X} a#b #c ; | & > <",
       {"$HOME", "*", "~", "~/x", "`id`", "$(id)", "${X}", "a#b", "#c", ";", "|", "&", ">", "<"}},
      {"utf-8 passes through", "\"gr\xC3\xBC\xC3\x9F e\" \xE2\x82\xAC", {"gr\xC3\xBC\xC3\x9F e", "\xE2\x82\xAC"}},
  };
  for (const SplitRow& row : rows) {
    SCOPED_TRACE(row.label);
    const ShellWords words(row.text);
    EXPECT_TRUE(words.ok()) << words.error();
    EXPECT_EQ(words.words(), row.words);
  }
}

struct ErrorRow {
  const char* label;
  std::string text;
  std::string error;
};

TEST(ShellWords, NamesTheUnterminatedQuote) {
  const ErrorRow rows[] = {
      {"single", "'abc", "unterminated single quote opened at offset 0"},
      {"double after a word", "ab \"c d", "unterminated double quote opened at offset 3"},
      {"escaped closing double quote", R"("ab\")", "unterminated double quote opened at offset 0"},
      {"other quote inside does not close", R"("a'b" 'c"d)", "unterminated single quote opened at offset 6"},
      {"backslash cannot escape in single quotes", R"('a\'' b)", "unterminated single quote opened at offset 4"},
  };
  for (const ErrorRow& row : rows) {
    SCOPED_TRACE(row.label);
    const ShellWords words(row.text);
    EXPECT_FALSE(words.ok());
    EXPECT_EQ(words.error(), row.error);
    EXPECT_TRUE(words.words().empty());
  }
}

}  // namespace
}  // namespace vesk::platform::linux_backend
