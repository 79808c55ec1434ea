#include "platform/linux/wayland/KWinScript.h"

#include <gtest/gtest.h>

namespace vesk::platform::linux_backend {
namespace {

// Answers that a KWin script sends back, read as a listing: good ones give
// the views in order; anything else (a script error, bad JSON, a field
// missing or of the wrong type, a pid out of range) gives no views and a problem.
struct ListingRow {
  const char* label;
  std::string answer;
  bool ok;
  std::string listed;  // "id pid o|u v|h;" per view, or the problem
};

std::string Describe(const std::vector<CompositorView>& views) {
  std::string text;
  for (const CompositorView& view : views)
    text += view.id + " " + std::to_string(view.process_id) + (view.owned ? " o" : " u") +
            (view.visible ? " v;" : " h;");
  return text;
}

TEST(KWinScript, ReadsListingAnswers) {
  const std::string unreadable =
      "KWin's script answered a window without a readable id, pid, owner or visibility";
  const ListingRow rows[] = {
      {"no windows", R"({"views":[]})", true, ""},
      {"views in order, extra fields ignored",
       R"({"views":[{"id":"{b}","pid":4294967295,"owned":true,"visible":false,"order":3},)"
       R"({"id":"{a}","pid":0,"owned":false,"visible":true}]})",
       true, "{b} 4294967295 o h;{a} 0 u v;"},
      {"the script's error", R"({"error":"TypeError: workspace.clientList is not a function"})", false,
       "KWin's script failed: TypeError: workspace.clientList is not a function"},
      {"an error that is not text", R"({"error":{"line":3}})", false, R"(KWin's script failed: {"line":3})"},
      {"not JSON", "views", false, "KWin's script answered something that is not a JSON object"},
      {"cut short", R"({"views":[{"id":"a")", false, "KWin's script answered something that is not a JSON object"},
      {"an array", R"([])", false, "KWin's script answered something that is not a JSON object"},
      {"empty", "", false, "KWin's script answered something that is not a JSON object"},
      {"no list", R"({"windows":[]})", false, "KWin's script answered without a list of windows"},
      {"list not an array", R"({"views":{}})", false, "KWin's script answered without a list of windows"},
      {"a view not an object", R"({"views":[1]})", false, unreadable},
      {"empty id", R"({"views":[{"id":"","pid":1,"owned":false,"visible":true}]})", false, unreadable},
      {"numeric id", R"({"views":[{"id":7,"pid":1,"owned":false,"visible":true}]})", false, unreadable},
      {"negative pid", R"({"views":[{"id":"a","pid":-1,"owned":false,"visible":true}]})", false, unreadable},
      {"pid too large", R"({"views":[{"id":"a","pid":4294967296,"owned":false,"visible":true}]})", false,
       unreadable},
      {"fractional pid", R"({"views":[{"id":"a","pid":1.5,"owned":false,"visible":true}]})", false, unreadable},
      {"pid as text", R"({"views":[{"id":"a","pid":"1","owned":false,"visible":true}]})", false, unreadable},
      {"owned missing", R"({"views":[{"id":"a","pid":1,"visible":true}]})", false, unreadable},
      {"visible as number", R"({"views":[{"id":"a","pid":1,"owned":false,"visible":1}]})", false, unreadable},
      {"one bad view spoils all",
       R"({"views":[{"id":"a","pid":1,"owned":false,"visible":true},{"id":"b"}]})", false, unreadable},
      {"invalid UTF-8", "{\"views\":[{\"id\":\"\xff\",\"pid\":1,\"owned\":false,\"visible\":true}]}", false,
       "KWin's script answered something that is not a JSON object"},
  };
  for (const ListingRow& row : rows) {
    SCOPED_TRACE(row.label);
    std::vector<CompositorView> views{CompositorView{"kept", 9, false, true}};
    std::string problem;
    EXPECT_EQ(KWinScript::ReadViews(row.answer, views, problem), row.ok);
    EXPECT_EQ(row.ok ? Describe(views) : problem, row.listed);
    if (!row.ok) {
      EXPECT_EQ(Describe(views), "kept 9 u v;");  // left alone on failure
    }
  }
}

TEST(KWinScript, ReadsCloseAnswers) {
  const struct {
    const char* label;
    std::string answer;
    bool ok;
    bool closed;
  } rows[] = {
      {"closed", R"({"closed":true})", true, true},
      {"not found", R"({"closed":false})", true, false},
      {"missing", R"({})", false, false},
      {"not a boolean", R"({"closed":"true"})", false, false},
      {"the script's error", R"({"error":"x","closed":true})", false, false},
      {"not JSON", "true", false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    bool closed = false;
    std::string problem;
    EXPECT_EQ(KWinScript::ReadClosed(row.answer, closed, problem), row.ok);
    EXPECT_EQ(closed, row.closed);
    EXPECT_EQ(problem.empty(), row.ok);
  }
}

}  // namespace
}  // namespace vesk::platform::linux_backend
