// A document's settings: the file its URI names, the config found from it,
// the client's settings over it, and excluded documents left alone.
#include "lsp/project.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "lsp/server.h"

namespace tagfmt::lsp {
namespace {

namespace fs = std::filesystem;

TEST(Project, FileUris) {
  const struct {
    const char* uri;
    const char* path;
  } cases[] = {
      {"file:///a/b.htm", "/a/b.htm"},
      {"file:///a%20b/c%2Fd.htm", "/a b/c/d.htm"},
      {"file://localhost/x.htm", "/x.htm"},
      {"file://host/x.htm", ""},
      {"untitled:Untitled-1", ""},
      {"file:///%zz%2", "/%zz%2"},
      {"file:///%", "/%"},
  };
  for (const auto& c : cases) EXPECT_EQ(filePathOfUri(c.uri), c.path) << c.uri;
}

// A work tree in a fresh folder: its config sets markers and excludes
// vendor/; other.toml sets line-ends-only.
class ProjectTree : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "tagfmt-lsp-XXXXXX");
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    root_ = name;
    fs::create_directories(root_ / ".git");
    fs::create_directories(root_ / "bad");
    fs::create_directories(root_ / "vendor");
    write(".tagfmt.toml", "markers = true\nexclude = [\"vendor/\"]\n");
    write("other.toml", "line-ends-only = true\n");
    write("bad/.tagfmt.toml", "markers = 1\n");
    // The nearest for vendor/, but it cannot bring vendor/ back.
    write("vendor/.tagfmt.toml", "markers = false\n");
  }
  void TearDown() override { fs::remove_all(root_); }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(root_ / name, std::ios::binary) << text;
  }
  std::string uri(const std::string& name) const {
    return "file://" + (root_ / name).string();
  }
  fs::path root_;
};

TEST_F(ProjectTree, SettingsForADocument) {
  const ConfigSource lookUp{ConfigChoice::kLookUp, {}};
  const ConfigSource other{ConfigChoice::kFile, (root_ / "other.toml")};
  const ConfigSource none{ConfigChoice::kNone, {}};
  const struct {
    std::string uri;
    ServerConfig config;
    ClientSettings client;
    bool markers;
    bool lineEndsOnly;
    bool excluded;
  } cases[] = {
      {uri("p.htm"), {lookUp, false}, {}, true, false, false},
      {uri("vendor/v.htm"), {lookUp, false}, {}, false, false, false},
      {uri("vendor/v.htm"), {lookUp, true}, {}, false, false, true},
      {uri("p.htm"), {lookUp, false}, {false, true}, false, true, false},
      {uri("p.htm"), {other, true}, {}, false, true, false},
      {"untitled:1", {other, false}, {}, false, true, false},
      {"untitled:1", {lookUp, false}, {}, false, false, false},
      {uri("vendor/v.htm"), {none, true}, {true, {}}, true, false, false},
  };
  for (const auto& c : cases) {
    std::string error;
    const DocumentSettings settings =
        settingsFor(c.uri, c.config, c.client, error);
    EXPECT_EQ(settings.run.markerMode, c.markers) << c.uri;
    EXPECT_EQ(settings.run.lineEndsOnly, c.lineEndsOnly) << c.uri;
    EXPECT_EQ(settings.excluded, c.excluded) << c.uri;
    EXPECT_EQ(error, "") << c.uri;
  }
  std::string error;
  settingsFor(uri("bad/p.htm"), {lookUp, false}, {}, error);
  EXPECT_EQ(error, (root_ / "bad/.tagfmt.toml").string() +
                       ":1: markers takes true or false, not an integer");
}

// What the server wrote, as one string of frames.
std::string session(Server& server, const std::vector<std::string>& bodies) {
  for (const std::string& body : bodies) {
    server.receive("Content-Length: " + std::to_string(body.size()) +
                   "\r\n\r\n" + body);
  }
  server.publishPending();
  return server.takeOutput();
}

std::string openBody(const std::string& uri) {
  return R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":)"
         R"({"textDocument":{"uri":")" +
         uri + R"(","version":1,"text":"<table>\n<tr>\n</tr></table>"}}})";
}

TEST_F(ProjectTree, AnExcludedDocumentIsLeftAlone) {
  const std::string init =
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})";
  const std::string format =
      R"({"jsonrpc":"2.0","id":2,"method":"textDocument/formatting",)"
      R"("params":{"textDocument":{"uri":")" +
      uri("vendor/v.htm") + R"("},"options":{}}})";
  Server forced(kMessageLimit, {{ConfigChoice::kLookUp, {}}, true});
  const std::string out =
      session(forced, {init, openBody(uri("vendor/v.htm")), format});
  EXPECT_NE(out.find(R"("diagnostics":[])"), std::string::npos) << out;
  EXPECT_NE(out.find(R"("id":2,"jsonrpc":"2.0","result":[])"),
            std::string::npos)
      << out;
  Server plain(kMessageLimit, {{ConfigChoice::kLookUp, {}}, false});
  const std::string checked =
      session(plain, {init, openBody(uri("vendor/v.htm"))});
  EXPECT_NE(checked.find("would be tidied"), std::string::npos) << checked;
  // A wrong config is logged once, however often its documents change.
  Server bad(kMessageLimit, {{ConfigChoice::kLookUp, {}}, false});
  const std::string logged = session(
      bad, {init, openBody(uri("bad/p.htm")), openBody(uri("bad/q.htm"))});
  const std::size_t first = logged.find("markers takes true or false");
  ASSERT_NE(first, std::string::npos) << logged;
  EXPECT_EQ(logged.find("markers takes true or false", first + 1),
            std::string::npos)
      << logged;
}

}  // namespace
}  // namespace tagfmt::lsp
