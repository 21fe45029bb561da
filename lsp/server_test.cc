// The server as a client sees it: tagfmt-lsp run on a pair of pipes.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "format/decision.h"
#include "format/format.h"
#include "lsp/documents.h"
#include "lsp/edits.h"
#include "lsp/json_bytes.h"
#include "lsp/test_client.h"

namespace tagfmt::lsp {
namespace {

using json = ProtocolJson;
using std::chrono::milliseconds;

constexpr milliseconds kWait{10000};

// True when every member `pattern` names is in `value` with the same value;
// arrays match element by element.
bool matches(const json& value, const json& pattern) {
  if (pattern.is_object()) {
    if (!value.is_object()) return false;
    for (const auto& [key, wanted] : pattern.items()) {
      if (!value.contains(key) || !matches(value[key], wanted)) return false;
    }
    return true;
  }
  if (pattern.is_array()) {
    if (!value.is_array() || value.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      if (!matches(value[i], pattern[i])) return false;
    }
    return true;
  }
  return value == pattern;
}

std::string framed(const json& message) {
  return frameMessage(jsonText(message));
}

json initialize(int id = 1, json params = json::object()) {
  return requestMessage(id, "initialize", std::move(params));
}

const json kInitialized = notificationMessage("initialized", json::object());

json openPage(const std::string& text,
              const std::string& uri = "file:///p.htm") {
  return notificationMessage("textDocument/didOpen", {{"textDocument",
                                                       {{"uri", uri},
                                                        {"languageId", "html"},
                                                        {"version", 1},
                                                        {"text", text}}}});
}

json change(json changes, int version = 2) {
  return notificationMessage(
      "textDocument/didChange",
      {{"textDocument", {{"uri", "file:///p.htm"}, {"version", version}}},
       {"contentChanges", std::move(changes)}});
}

json rangeChange(int line, int from, int to, const std::string& text) {
  return {{"range",
           {{"start", {{"line", line}, {"character", from}}},
            {"end", {{"line", line}, {"character", to}}}}},
          {"text", text}};
}

json diagnosticsOf(json list) {
  return {
      {"method", "textDocument/publishDiagnostics"},
      {"params", {{"uri", "file:///p.htm"}, {"diagnostics", std::move(list)}}}};
}

json errorReply(json id, int code) {
  return {{"id", std::move(id)}, {"error", {{"code", code}}}};
}

json logged(const std::string& text) {
  return {{"method", "window/logMessage"}, {"params", {{"message", text}}}};
}

const std::string kTidy =
    "<table>\r\n  <tr>\r\n    <td>a</td>\r\n  </tr></table>";

// One step: write bytes (after a pause, so that they come in a read of
// their own), or expect the next message to match, or expect the exit.
struct Step {
  enum Kind { kWrite, kExpect, kExit } kind;
  std::string bytes;
  json pattern;
  int status = 0;
};

Step write(std::string bytes) { return {Step::kWrite, std::move(bytes), {}}; }
Step write(const char* bytes) { return write(std::string(bytes)); }
Step write(const json& message) { return write(framed(message)); }
Step expect(json pattern) { return {Step::kExpect, {}, std::move(pattern)}; }
Step exits(int status) { return {Step::kExit, {}, {}, status}; }

TEST(Protocol, Sessions) {
  const std::string init = framed(initialize());
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"lifecycle",
       {write(initialize()),
        expect({{"id", 1},
                {"result",
                 {{"serverInfo",
                   {{"name", "tagfmt-lsp"}, {"version", TAGFMT_VERSION}}},
                  {"capabilities",
                   {{"positionEncoding", "utf-16"},
                    {"documentFormattingProvider", true},
                    {"textDocumentSync", {{"change", 2}}},
                    {"codeActionProvider",
                     {{"codeActionKinds", {"source.fixAll"}}}}}}}}}),
        write(kInitialized), write(requestMessage(2, "shutdown", nullptr)),
        expect({{"id", 2}, {"result", nullptr}}),
        write(requestMessage(3, "textDocument/formatting", json::object())),
        expect(errorReply(3, -32600)),
        write(notificationMessage("exit", nullptr)), exits(0)}},
      {"exit without shutdown",
       {write(initialize()), expect({{"id", 1}}),
        write(notificationMessage("exit", nullptr)), exits(1)}},
      {"framing split across reads",
       {write(init.substr(0, 10)), write(init.substr(10, 20)),
        write(init.substr(30)), expect({{"id", 1}})}},
      {"two messages in one read",
       {write(init + framed(requestMessage(2, "shutdown", nullptr))),
        expect({{"id", 1}}), expect({{"id", 2}, {"result", nullptr}})}},
      {"a bad header",
       {write("Content-Type: x\r\n\r\n{}" + init),
        expect(logged("tagfmt-lsp: skipped a message: no Content-Length in the "
                      "header")),
        expect(logged("tagfmt-lsp: skipped a message: no Content-Length in the "
                      "header")),
        expect({{"id", 1}})}},
      {"a request before initialize",
       {write(requestMessage(7, "shutdown", nullptr)),
        expect(errorReply(7, -32002)), write(openPage(kTidy)),
        write(initialize(8)), expect({{"id", 8}})}},
      {"initialize twice",
       {write(initialize()), expect({{"id", 1}}), write(initialize(2)),
        expect(errorReply(2, -32600))}},
      {"not JSON, no method, a bad id, an unknown method",
       {write(initialize()), expect({{"id", 1}}),
        write(frameMessage("{\"jsonrpc\":")),
        expect(errorReply(nullptr, -32700)), write(frameMessage("[1,2]")),
        expect(errorReply(nullptr, -32600)),
        write(frameMessage(R"({"jsonrpc":"2.0","id":{},"method":"x"})")),
        expect(errorReply(nullptr, -32600)),
        write(notificationMessage("tagfmt/unknown", nullptr)),
        write(requestMessage(4, "tagfmt/unknown", nullptr)),
        expect(errorReply(4, -32601))}},
      {"params of the wrong types",
       {write(initialize(
            1, {{"capabilities", 3}, {"initializationOptions", "x"}})),
        expect({{"id", 1}}),
        write(notificationMessage("textDocument/didOpen",
                                  {{"textDocument", {{"uri", 5}}}})),
        expect(logged("tagfmt-lsp: didOpen without a uri or a text")),
        write(change({{{"range", 1}, {"text", "x"}}})),
        expect(logged("tagfmt-lsp: no open document file:///p.htm")),
        write(requestMessage(2, "textDocument/formatting",
                             {{"textDocument", 1}})),
        expect(errorReply(2, -32602))}},
      {"an oversized message",
       {write(initialize()), expect({{"id", 1}}),
        write("Content-Length: 100000000000\r\n\r\n{"),
        expect(logged("tagfmt-lsp: skipped a message of 100000000000 bytes, "
                      "more than the 67108864 this server takes"))}},
      {"didChange with ranges",
       {write(initialize()), expect({{"id", 1}}), write(openPage(kTidy)),
        expect(diagnosticsOf(json::array())),
        // "<td>a</td>" becomes "<td>a</tr>": a fault on line 3.
        write(change({rangeChange(2, 11, 13, "tr")})),
        expect(diagnosticsOf(
            {{{"severity", 1},
              {"message", "</tr> instead of </td> (<td> on line 3)"},
              {"relatedInformation",
               {{{"location", {{"range", {{"start", {{"line", 2}}}}}}}}}}}})),
        // Two changes in one message, in order: back to "</td>", then one
        // more space before "<td>".
        write(change({rangeChange(2, 11, 13, "td"), rangeChange(2, 0, 0, " ")},
                     3)),
        expect(diagnosticsOf({{{"severity", 4},
                               {"message", "would be tidied"},
                               {"range", {{"start", {{"line", 2}}}}}}})),
        write(change({{{"text", kTidy}}}, 4)),
        expect(diagnosticsOf(json::array())),
        write(notificationMessage(
            "textDocument/didClose",
            {{"textDocument", {{"uri", "file:///p.htm"}}}})),
        expect(diagnosticsOf(json::array()))}},
      {"a burst of changes gives one publication",
       {write(initialize()), expect({{"id", 1}}),
        write(framed(openPage(kTidy)) +
              framed(change({rangeChange(1, 0, 0, "x")}, 2)) +
              framed(change({rangeChange(1, 0, 1, "")}, 3))),
        expect({{"params", {{"version", 3}, {"diagnostics", json::array()}}}}),
        write(requestMessage(2, "shutdown", nullptr)), expect({{"id", 2}})}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerProcess server(TAGFMT_LSP_BINARY);
    for (const Step& step : c.steps) {
      switch (step.kind) {
        case Step::kWrite:
          std::this_thread::sleep_for(milliseconds(20));
          server.write(step.bytes);
          break;
        case Step::kExpect: {
          const json message = server.next(kWait);
          EXPECT_TRUE(matches(message, step.pattern))
              << "got " << jsonText(message) << "\nwanted "
              << jsonText(step.pattern);
          break;
        }
        case Step::kExit:
          EXPECT_EQ(server.finish(), step.status);
          break;
      }
    }
  }
}

// Applies the protocol's TextEdits, given in UTF-16 units, to `text`.
std::string applied(const std::string& text, const json& edits);

json formattingRequest(int id) {
  return requestMessage(
      id, "textDocument/formatting",
      {{"textDocument", {{"uri", "file:///p.htm"}}},
       {"options", {{"tabSize", 2}, {"insertSpaces", true}}}});
}

TEST(Protocol, FormattingGivesTagfmtsBytes) {
  struct Case {
    const char* name;
    std::string text;
    json initOptions;
  };
  const Case cases[] = {
      {"LF page", "<table>\n<tr><td>\xC3\xA9</td></tr>\n</table>\n", nullptr},
      {"bytes that are not UTF-8 kept where they are",
       "<p>\xF0\x9D\x84\x9E</p><table>\r\n<tr><td>a</td>\r\n</tr>\r\n</table>",
       nullptr},
      {"markers", "<table><tr>\r\n</tr></table>", {{"markers", true}}},
      {"line ends only",
       "<table><tr>\n</tr></table>",
       {{"lineEndsOnly", true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions options;
    if (c.initOptions.is_object()) {
      options.markerMode = c.initOptions.value("markers", false);
      options.lineEndsOnly = c.initOptions.value("lineEndsOnly", false);
    }
    const TextDecision decision = decideText(c.text, options, 0);
    ASSERT_EQ(decision.outcome, TextOutcome::kChanged);
    ServerProcess server(TAGFMT_LSP_BINARY);
    server.send(initialize(1, {{"initializationOptions", c.initOptions}}));
    server.send(openPage(c.text));
    server.send(formattingRequest(2));
    server.send(requestMessage(3, "textDocument/codeAction",
                               {{"textDocument", {{"uri", "file:///p.htm"}}},
                                {"context", {{"only", {"source"}}}}}));
    const auto isReply = [](int id) {
      return [id](const json& m) { return m.value("id", json()) == id; };
    };
    const json edits = server.nextWhere(isReply(2), kWait)["result"];
    EXPECT_EQ(applied(c.text, edits), decision.tidied);
    const json actions = server.nextWhere(isReply(3), kWait)["result"];
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0]["kind"], "source.fixAll");
    EXPECT_EQ(actions[0]["edit"]["changes"]["file:///p.htm"], edits);
  }
}

// With the pass broken on purpose, the server offers no edits, says why in
// the reply and in the client's log, and marks the page.
TEST(Protocol, ABrokenPassGivesNoEdits) {
  setenv("TAGFMT_BREAK_TIDIED", "1", 1);
  ServerProcess server(TAGFMT_LSP_SEAMS_BINARY);
  unsetenv("TAGFMT_BREAK_TIDIED");
  const std::string said =
      "internal error: tidying would change the page's content, not changed; "
      "please report this page to tagfmt's developers";
  server.send(initialize());
  server.send(openPage("<table>\n<tr><td>x</td></tr>\n</table>\n"));
  const json published = server.nextWhere(
      [](const json& m) {
        return m.contains("method") &&
               m["method"] == "textDocument/publishDiagnostics";
      },
      kWait);
  EXPECT_TRUE(
      matches(published, diagnosticsOf({{{"severity", 1}, {"message", said}}})))
      << jsonText(published);
  server.send(formattingRequest(2));
  server.send(requestMessage(3, "textDocument/codeAction",
                             {{"textDocument", {{"uri", "file:///p.htm"}}},
                              {"context", {{"only", {"source"}}}}}));
  EXPECT_TRUE(matches(server.next(kWait), logged("file:///p.htm: " + said)));
  const json reply = server.next(kWait);
  EXPECT_TRUE(matches(reply, errorReply(2, -32803))) << jsonText(reply);
  EXPECT_EQ(reply["error"]["message"], said);
  EXPECT_TRUE(
      matches(server.next(kWait), {{"id", 3}, {"result", json::array()}}));
}

TEST(Protocol, FormattingATidyOrRefusedPage) {
  ServerProcess server(TAGFMT_LSP_BINARY);
  server.send(initialize());
  server.send(openPage(kTidy));
  server.send(openPage("<table>\r\n<tr>\r\n</table>", "file:///bad.htm"));
  server.send(formattingRequest(2));
  server.send(requestMessage(3, "textDocument/formatting",
                             {{"textDocument", {{"uri", "file:///bad.htm"}}}}));
  server.send(requestMessage(4, "textDocument/codeAction",
                             {{"textDocument", {{"uri", "file:///bad.htm"}}},
                              {"context", json::object()}}));
  const auto reply = [&](int id) {
    return server.nextWhere(
        [id](const json& m) { return m.value("id", json()) == id; }, kWait);
  };
  EXPECT_EQ(reply(2)["result"], json::array());
  EXPECT_TRUE(matches(
      reply(3), {{"error",
                  {{"code", -32803},
                   {"message",
                    "not formatted: line 3: nesting error: </table> instead "
                    "of </tr> (<tr> on line 2) (and 1 more)"}}}}));
  EXPECT_EQ(reply(4)["result"], json::array());
}

// Some clients send a buffer's bytes as they stand, Latin-1 among them:
// the edits carry those bytes back as they came.
TEST(Protocol, BytesThatAreNotUtf8InTheClientsJson) {
  const std::string text = "<table>\r\n<tr><td>caf\xE9</td></tr></table>";
  ServerProcess server(TAGFMT_LSP_BINARY);
  server.send(initialize());
  server.write(frameMessage(
      R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":)"
      R"({"textDocument":{"uri":"file:///p.htm","version":1,"text":")" +
      std::string("<table>\\r\\n<tr><td>caf\xE9</td></tr></table>") +
      R"("}}})"));
  server.write(framed(formattingRequest(2)));
  const json edits = server.nextWhere(
      [](const json& m) { return m.value("id", json()) == 2; }, kWait);
  ASSERT_FALSE(edits.is_discarded());
  const TextDecision decision = decideText(text, {}, 0);
  EXPECT_EQ(applied(text, edits["result"]), decision.tidied);
}

TEST(Protocol, Utf8PositionsWhenOffered) {
  ServerProcess server(TAGFMT_LSP_BINARY);
  server.send(initialize(
      1, {{"capabilities",
           {{"general", {{"positionEncodings", {"utf-8", "utf-16"}}}}}}}));
  EXPECT_EQ(server.next(kWait)["result"]["capabilities"]["positionEncoding"],
            "utf-8");
  // "é" is two bytes: in UTF-8 units the "td" of "</td>" is at 12.
  server.send(openPage(
      "<table>\r\n  <tr>\r\n    <td>\xC3\xA9</td>\r\n  </tr></table>"));
  server.send(change({rangeChange(2, 12, 14, "tr")}));
  const json published = server.nextWhere(
      [](const json& m) { return !m["params"]["diagnostics"].empty(); }, kWait);
  EXPECT_EQ(published["params"]["diagnostics"][0]["message"],
            "</tr> instead of </td> (<td> on line 3)");
}

TEST(Protocol, SettingsChangeTheDiagnostics) {
  ServerProcess server(TAGFMT_LSP_BINARY);
  server.send(initialize());
  // Tidy but for its line ends: in line-ends-only mode still a hint.
  server.send(openPage("<table>\r\n<tr></tr></table>"));
  EXPECT_EQ(server
                .nextWhere([](const json& m) { return m.contains("method"); },
                           kWait)["params"]["diagnostics"]
                .size(),
            1u);
  server.send(notificationMessage(
      "workspace/didChangeConfiguration",
      {{"settings", {{"tagfmt", {{"lineEndsOnly", true}}}}}}));
  EXPECT_EQ(server.next(kWait)["params"]["diagnostics"], json::array());
}

std::string applied(const std::string& text, const json& edits) {
  const LineIndex index(text, PositionEncoding::kUtf16);
  std::vector<ByteEdit> bytes;
  for (const json& edit : edits) {
    const auto position = [&](const json& p) {
      return index.offset(Position{p["line"].get<std::uint64_t>(),
                                   p["character"].get<std::uint64_t>()});
    };
    bytes.push_back(ByteEdit{position(edit["range"]["start"]),
                             position(edit["range"]["end"]),
                             utf8ToBytes(edit["newText"].get<std::string>())});
  }
  return applyEdits(text, bytes);
}

}  // namespace
}  // namespace tagfmt::lsp
