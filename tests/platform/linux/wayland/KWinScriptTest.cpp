#include "platform/linux/wayland/KWinScript.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/linux/posix/PrivateFile.h"

namespace vesk::platform::linux_backend {
namespace {

// Answers that a KWin script sends back, read as a listing: good ones give
// the views in order; anything else (a script error, bad JSON, a field
// missing or of the wrong type, a pid out of range) gives no views and a problem.
struct ListingRow {
  const char* label;
  std::string answer;
  bool ok;
  std::string listed;  // "id pid o|u v|h[ x];" per view, or the problem
};

std::string Describe(const std::vector<CompositorView>& views) {
  std::string text;
  for (const CompositorView& view : views)
    text += view.id + " " + std::to_string(view.process_id) + (view.owned ? " o" : " u") +
            (view.visible ? " v" : " h") + (view.xwayland ? " x;" : ";");
  return text;
}

TEST(KWinScript, ReadsListingAnswers) {
  const std::string unreadable =
      "answered a window without a readable id, pid, owner, visibility or kind";
  const ListingRow rows[] = {
      {"no windows", R"({"views":[]})", true, ""},
      {"views in order, extra fields ignored",
       R"({"views":[{"id":"{b}","pid":4294967295,"owned":true,"visible":false,"x11":false,"order":3},)"
       R"({"id":"{a}","pid":0,"owned":false,"visible":true,"x11":true}]})",
       true, "{b} 4294967295 o h;{a} 0 u v x;"},
      {"the script's error", R"({"error":"TypeError: workspace.clientList is not a function"})", false,
       "ran a script that failed: TypeError: workspace.clientList is not a function"},
      {"an error that is not text", R"({"error":{"line":3}})", false, R"(ran a script that failed: {"line":3})"},
      {"not JSON", "views", false, "answered something that is not a JSON object"},
      {"cut short", R"({"views":[{"id":"a")", false, "answered something that is not a JSON object"},
      {"an array", R"([])", false, "answered something that is not a JSON object"},
      {"empty", "", false, "answered something that is not a JSON object"},
      {"no list", R"({"windows":[]})", false, "answered without a list of windows"},
      {"list not an array", R"({"views":{}})", false, "answered without a list of windows"},
      {"a view not an object", R"({"views":[1]})", false, unreadable},
      {"empty id", R"({"views":[{"id":"","pid":1,"owned":false,"visible":true}]})", false, unreadable},
      {"numeric id", R"({"views":[{"id":7,"pid":1,"owned":false,"visible":true}]})", false, unreadable},
      {"negative pid", R"({"views":[{"id":"a","pid":-1,"owned":false,"visible":true}]})", false, unreadable},
      {"pid too large", R"({"views":[{"id":"a","pid":4294967296,"owned":false,"visible":true}]})", false,
       unreadable},
      {"fractional pid", R"({"views":[{"id":"a","pid":1.5,"owned":false,"visible":true}]})", false, unreadable},
      {"pid as text", R"({"views":[{"id":"a","pid":"1","owned":false,"visible":true}]})", false, unreadable},
      {"owned missing", R"({"views":[{"id":"a","pid":1,"visible":true}]})", false, unreadable},
      {"visible as number", R"({"views":[{"id":"a","pid":1,"owned":false,"visible":1,"x11":false}]})", false,
       unreadable},
      {"kind missing", R"({"views":[{"id":"a","pid":1,"owned":false,"visible":true}]})", false, unreadable},
      {"kind as text", R"({"views":[{"id":"a","pid":1,"owned":false,"visible":true,"x11":"true"}]})", false,
       unreadable},
      {"one bad view spoils all",
       R"({"views":[{"id":"a","pid":1,"owned":false,"visible":true,"x11":false},{"id":"b"}]})", false, unreadable},
      {"invalid UTF-8", "{\"views\":[{\"id\":\"\xff\",\"pid\":1,\"owned\":false,\"visible\":true}]}", false,
       "answered something that is not a JSON object"},
  };
  for (const ListingRow& row : rows) {
    SCOPED_TRACE(row.label);
    std::vector<CompositorView> views{CompositorView{"kept", 9, false, true, false}};
    const Result<std::vector<CompositorView>> read = KWinScript::ReadViews(row.answer);
    if (read) views = *read;
    EXPECT_EQ(read.ok(), row.ok);
    EXPECT_EQ(row.ok ? Describe(views) : read.problem(), row.listed);
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
    const Result<bool> read = KWinScript::ReadClosed(row.answer);
    const bool closed = read && *read;
    EXPECT_EQ(read.ok(), row.ok);
    EXPECT_EQ(closed, row.closed);
    EXPECT_EQ(read.problem().empty(), row.ok);
  }
}

// Where a script's file goes: the given runtime folder only when it is a real
// folder of this user's with mode 0700; else a fresh private folder under
// /tmp, which goes with the file.
TEST(KWinScript, ScriptFileFolder) {
  std::string base = "/tmp/vesk-test-XXXXXX";
  ASSERT_NE(::mkdtemp(base.data()), nullptr);
  namespace fs = std::filesystem;
  const struct {
    const char* label;
    const char* name;  // the runtime folder under base ("" for none given)
    mode_t mode;       // 0: not made; 1: a link to an own 0700 folder; 2: a plain file
    bool used;
  } rows[] = {
      {"own, 0700", "own", 0700, true},
      {"group and others may read and enter", "open", 0755, false},
      {"group may enter", "group", 0710, false},
      {"a link to an own 0700 folder", "link", 1, false},
      {"a plain file", "file", 2, false},
      {"missing", "missing", 0, false},
      {"none given", "", 0, false},
      {"another user's, 0700 (made only as root)", "theirs", 0700, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string folder = *row.name != '\0' ? base + "/" + row.name : "";
    if (row.mode == 1) {
      ASSERT_EQ(::mkdir((base + "/real").c_str(), 0700), 0);
      ASSERT_EQ(::symlink((base + "/real").c_str(), folder.c_str()), 0);
    } else if (row.mode == 2) {
      std::ofstream(folder) << "x";
    } else if (row.mode != 0) {
      ASSERT_EQ(::mkdir(folder.c_str(), row.mode), 0);
      ASSERT_EQ(::chmod(folder.c_str(), row.mode), 0);  // past the umask
      if (std::string(row.name) == "theirs" && (::geteuid() != 0 || ::chown(folder.c_str(), 65534, 65534) != 0))
        continue;
    }
    std::string path, fresh;
    {
      PrivateFile file;
      const Done created = file.Create(folder, ".js", "text");
      ASSERT_TRUE(created.ok()) << created.problem();
      path = file.path();
      const std::string parent = fs::path(path).parent_path().string();
      EXPECT_EQ(parent == folder, row.used) << parent;
      if (!row.used) {
        fresh = parent;
        EXPECT_EQ(parent.rfind("/tmp/vesk-", 0), 0u) << parent;
        const fs::file_status status = fs::symlink_status(parent);
        EXPECT_EQ(status.type(), fs::file_type::directory);
        EXPECT_EQ(status.permissions(), fs::perms::owner_all);
      }
      std::ifstream in(path);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "text");
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(!fresh.empty() && fs::exists(fresh)) << "the fresh folder goes with the file";
    EXPECT_TRUE(row.mode != 0700 || fs::is_directory(folder)) << "a given folder stays";
  }
  fs::remove_all(base);
}

}  // namespace
}  // namespace vesk::platform::linux_backend
