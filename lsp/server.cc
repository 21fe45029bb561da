// The protocol: lifecycle, document sync, diagnostics, formatting and the
// fix-all code action.
#include "lsp/server.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "lsp/diagnostics.h"
#include "lsp/edits.h"
#include "lsp/json_bytes.h"
#include "report/tagfmt_wording.h"

#ifndef TAGFMT_VERSION
#define TAGFMT_VERSION "0"
#endif

namespace tagfmt::lsp {

namespace {

using json = ProtocolJson;

// JSON-RPC's and the protocol's error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

constexpr std::string_view kFixAll = "source.fixAll";

// The member `name` of `object`, or null when `object` is no object or lacks
// it.
const json& member(const json& object, const char* name) {
  static const json kNull;
  if (!object.is_object()) return kNull;
  const auto found = object.find(name);
  return found == object.end() ? kNull : *found;
}

std::string stringMember(const json& object, const char* name) {
  const json& value = member(object, name);
  return value.is_string() ? value.get<std::string>() : std::string();
}

bool readPosition(const json& value, Position& position) {
  const json& line = member(value, "line");
  const json& character = member(value, "character");
  if (!line.is_number_unsigned() || !character.is_number_unsigned()) {
    return false;
  }
  position =
      Position{line.get<std::uint64_t>(), character.get<std::uint64_t>()};
  return true;
}

// Whether a code action request that asks only for `only` kinds wants
// source.fixAll: a kind covers the kinds that extend it after a dot.
bool wantsFixAll(const json& only) {
  if (!only.is_array()) return true;
  for (const json& kind : only) {
    if (!kind.is_string()) continue;
    const std::string name = kind.get<std::string>();
    if (kFixAll.starts_with(name) &&
        (name.size() == kFixAll.size() || kFixAll[name.size()] == '.')) {
      return true;
    }
  }
  return false;
}

}  // namespace

Server::Server(std::size_t messageLimit, ServerConfig config)
    : reader_(messageLimit),
      messageLimit_(messageLimit),
      config_(std::move(config)) {}

void Server::receive(std::string_view bytes) {
  reader_.feed(bytes);
  Frame frame;
  while (!finished_ && reader_.next(frame)) {
    switch (frame.kind) {
      case FrameKind::kMessage:
        handleBody(frame.body);
        break;
      case FrameKind::kBadHeader:
        log("tagfmt-lsp: skipped a message: " + frame.problem);
        break;
      case FrameKind::kTooLarge:
        log("tagfmt-lsp: skipped " + frame.problem);
        break;
    }
  }
}

std::string Server::takeOutput() {
  std::string taken;
  taken.swap(output_);
  return taken;
}

void Server::handleBody(const std::string& body) {
  const json message =
      parseProtocolJson(isUtf8(body) ? body : bytesToUtf8(body));
  if (message.is_discarded()) {
    replyError(nullptr, kParseError, "the message is not JSON");
    return;
  }
  // Handlers read what they need and skip what is amiss; a value of an
  // unexpected type, or no memory, still ends here and not the server.
  try {
    dispatch(message);
  } catch (const std::exception& problem) {
    const json& id = member(message, "id");
    if (member(message, "method").is_string() && !id.is_null()) {
      replyError(id, kInternalError, problem.what());
    } else {
      log(std::string("tagfmt-lsp: ") + problem.what());
    }
  }
}

void Server::dispatch(const json& message) {
  const json& method = member(message, "method");
  const json& id = member(message, "id");
  const bool idValid = id.is_number_integer() || id.is_string();
  if (!method.is_string()) {
    // A response to a request the server never sent needs nothing.
    if (message.is_object() &&
        (message.contains("result") || message.contains("error"))) {
      return;
    }
    replyError(idValid ? id : json(), kInvalidRequest, "no method");
    return;
  }
  if (!id.is_null() && !idValid) {
    replyError(nullptr, kInvalidRequest, "an id must be a number or a string");
    return;
  }
  const json& params = member(message, "params");
  if (id.is_null()) {
    notification(method.get<std::string>(), params);
  } else {
    request(method.get<std::string>(), id, params);
  }
}

void Server::request(const std::string& method, const json& id,
                     const json& params) {
  if (method == "initialize") {
    if (initialized_) {
      replyError(id, kInvalidRequest, "initialize came twice");
      return;
    }
    reply(id, initialize(params));
    return;
  }
  if (!initialized_) {
    replyError(id, kServerNotInitialized, "initialize must come first");
    return;
  }
  if (shutDown_) {
    replyError(id, kInvalidRequest, "the server is shutting down");
    return;
  }
  if (method == "shutdown") {
    shutDown_ = true;
    reply(id, nullptr);
  } else if (method == "textDocument/formatting") {
    formatting(id, params);
  } else if (method == "textDocument/codeAction") {
    codeAction(id, params);
  } else {
    replyError(id, kMethodNotFound, "no method " + method);
  }
}

void Server::notification(const std::string& method, const json& params) {
  if (method == "exit") {
    finished_ = true;
    return;
  }
  // Before initialize, notifications are dropped; after shutdown, only exit
  // matters.
  if (!initialized_ || shutDown_) return;
  if (method == "textDocument/didOpen") {
    openDocument(params);
  } else if (method == "textDocument/didChange") {
    changeDocument(params);
  } else if (method == "textDocument/didSave") {
    saveDocument(params);
  } else if (method == "textDocument/didClose") {
    closeDocument(params);
  } else if (method == "workspace/didChangeConfiguration") {
    applySettings(member(params, "settings"));
  }
  // Others ("initialized", "$/cancelRequest", ...) need nothing.
}

json Server::initialize(const json& params) {
  initialized_ = true;
  const json& encodings = member(
      member(member(params, "capabilities"), "general"), "positionEncodings");
  if (encodings.is_array() && std::find(encodings.begin(), encodings.end(),
                                        "utf-8") != encodings.end()) {
    encoding_ = PositionEncoding::kUtf8;
  }
  applySettings(member(params, "initializationOptions"));
  return {
      {"capabilities",
       {{"positionEncoding",
         encoding_ == PositionEncoding::kUtf8 ? "utf-8" : "utf-16"},
        {"textDocumentSync",
         {{"openClose", true},
          {"change", 2},
          {"save", {{"includeText", true}}}}},
        {"documentFormattingProvider", true},
        {"codeActionProvider", {{"codeActionKinds", json::array({kFixAll})}}}}},
      {"serverInfo", {{"name", "tagfmt-lsp"}, {"version", TAGFMT_VERSION}}}};
}

void Server::applySettings(const json& settings) {
  // Clients that keep one settings tree for all servers put ours under
  // "tagfmt".
  const json& ours = member(settings, "tagfmt").is_object()
                         ? member(settings, "tagfmt")
                         : settings;
  const json& markers = member(ours, "markers");
  const json& lineEndsOnly = member(ours, "lineEndsOnly");
  if (markers.is_boolean()) client_.markers = markers.get<bool>();
  if (lineEndsOnly.is_boolean()) {
    client_.lineEndsOnly = lineEndsOnly.get<bool>();
  }
  for (auto& [uri, document] : documents_) markChanged(document);
}

DocumentSettings Server::settingsOf(const std::string& uri) {
  std::string error;
  DocumentSettings settings = settingsFor(uri, config_, client_, error);
  if (!error.empty() && error != configError_) log("tagfmt-lsp: " + error);
  configError_ = error;
  return settings;
}

void Server::markChanged(Document& document) {
  if (!document.dirty) ++pending_;
  document.dirty = true;
}

bool Server::keepWithinLimit(const std::string& uri, Document& document) {
  if (document.text.size() <= messageLimit_) return true;
  log("tagfmt-lsp: " + uri + " is larger than " +
      std::to_string(messageLimit_) + " bytes and is not checked");
  if (document.dirty) --pending_;
  documents_.erase(uri);
  publish(uri, json::array());
  return false;
}

void Server::openDocument(const json& params) {
  const json& item = member(params, "textDocument");
  const std::string uri = stringMember(item, "uri");
  const json& text = member(item, "text");
  if (uri.empty() || !text.is_string()) {
    log("tagfmt-lsp: didOpen without a uri or a text");
    return;
  }
  Document& document = documents_[uri];
  document.text = utf8ToBytes(text.get_ref<const std::string&>());
  const json& version = member(item, "version");
  if (version.is_number_integer()) {
    document.version = version.get<std::int64_t>();
  }
  document.dirty = false;
  markChanged(document);
}

Document* Server::findDocument(const json& params, std::string& uri) {
  uri = stringMember(member(params, "textDocument"), "uri");
  const auto found = documents_.find(uri);
  return found == documents_.end() ? nullptr : &found->second;
}

void Server::changeDocument(const json& params) {
  std::string uri;
  Document* document = findDocument(params, uri);
  if (document == nullptr) {
    log("tagfmt-lsp: no open document " + uri);
    return;
  }
  const json& changes = member(params, "contentChanges");
  if (!changes.is_array()) return;
  for (const json& change : changes) {
    const json& text = member(change, "text");
    if (!text.is_string()) continue;
    const json& range = member(change, "range");
    const std::string bytes = utf8ToBytes(text.get_ref<const std::string&>());
    if (range.is_null()) {
      document->text = bytes;
      continue;
    }
    Position from;
    Position to;
    if (!readPosition(member(range, "start"), from) ||
        !readPosition(member(range, "end"), to) ||
        !applyRangeChange(*document, from, to, bytes, encoding_)) {
      log("tagfmt-lsp: a change to " + uri +
          " with a range that makes no sense");
    }
  }
  const json& version = member(member(params, "textDocument"), "version");
  if (version.is_number_integer()) {
    document->version = version.get<std::int64_t>();
  }
  markChanged(*document);
  keepWithinLimit(uri, *document);
}

void Server::saveDocument(const json& params) {
  std::string uri;
  Document* document = findDocument(params, uri);
  if (document == nullptr) {
    log("tagfmt-lsp: no open document " + uri);
    return;
  }
  const json& text = member(params, "text");
  if (text.is_string()) {
    document->text = utf8ToBytes(text.get_ref<const std::string&>());
  }
  markChanged(*document);
}

void Server::closeDocument(const json& params) {
  std::string uri;
  Document* document = findDocument(params, uri);
  if (document == nullptr) {
    log("tagfmt-lsp: no open document " + uri);
    return;
  }
  if (document->dirty) --pending_;
  documents_.erase(uri);
  publish(uri, json::array());
}

void Server::publishPending() {
  for (auto& [uri, document] : documents_) {
    if (!document.dirty) continue;
    const DocumentSettings settings = settingsOf(uri);
    if (settings.excluded) {
      publish(uri, json::array());
    } else {
      const FileReport report = checkDocument(document.text, settings.run);
      publish(uri, diagnosticsJson(document.text, report, uri, encoding_));
    }
    document.dirty = false;
  }
  pending_ = 0;
}

void Server::publish(const std::string& uri, json diagnostics) {
  json params = {{"uri", uri}, {"diagnostics", std::move(diagnostics)}};
  const auto found = documents_.find(uri);
  if (found != documents_.end()) params["version"] = found->second.version;
  send({{"jsonrpc", "2.0"},
        {"method", "textDocument/publishDiagnostics"},
        {"params", std::move(params)}});
}

void Server::formatting(const json& id, const json& params) {
  std::string uri;
  const Document* document = findDocument(params, uri);
  if (document == nullptr) {
    replyError(id, kInvalidParams, "no open document " + uri);
    return;
  }
  const DocumentSettings settings = settingsOf(uri);
  if (settings.excluded) {
    reply(id, json::array());
    return;
  }
  std::vector<ByteEdit> edits;
  const std::string why = formattingEdits(document->text, settings.run, edits);
  if (!why.empty()) {
    // A fault of the server's own is worth a line in the client's log too.
    if (why.starts_with(kInternalErrorText)) log(uri + ": " + why);
    replyError(id, kRequestFailed, why);
    return;
  }
  reply(id, textEditsJson(document->text, edits, encoding_));
}

void Server::codeAction(const json& id, const json& params) {
  std::string uri;
  const Document* document = findDocument(params, uri);
  if (document == nullptr) {
    replyError(id, kInvalidParams, "no open document " + uri);
    return;
  }
  json actions = json::array();
  std::vector<ByteEdit> edits;
  const DocumentSettings settings = settingsOf(uri);
  if (!settings.excluded &&
      wantsFixAll(member(member(params, "context"), "only")) &&
      formattingEdits(document->text, settings.run, edits).empty() &&
      !edits.empty()) {
    actions.push_back(
        {{"title", "Tidy with tagfmt"},
         {"kind", kFixAll},
         {"edit",
          {{"changes",
            {{uri, textEditsJson(document->text, edits, encoding_)}}}}}});
  }
  reply(id, std::move(actions));
}

void Server::send(const json& message) {
  // Bytes of a document that are not UTF-8 leave as they came.
  output_ += frameMessage(utf8ToBytes(jsonText(message)));
}

void Server::reply(const json& id, json result) {
  send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void Server::replyError(const json& id, int code, std::string message) {
  send({{"jsonrpc", "2.0"},
        {"id", id},
        {"error", {{"code", code}, {"message", std::move(message)}}}});
}

void Server::log(std::string message) {
  constexpr int kErrorType = 1;
  send({{"jsonrpc", "2.0"},
        {"method", "window/logMessage"},
        {"params", {{"type", kErrorType}, {"message", std::move(message)}}}});
}

}  // namespace tagfmt::lsp
