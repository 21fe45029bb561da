// The language server's protocol: its lifecycle and the open documents,
// apart from any file descriptor.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "lsp/documents.h"
#include "lsp/framing.h"
#include "lsp/project.h"
#include "report/json.h"

namespace tagfmt::lsp {

// The largest message taken, and so the largest document: far beyond any
// page written by hand.
inline constexpr std::size_t kMessageLimit = std::size_t{64} << 20;

// One session with a client, apart from any file descriptor: bytes go in
// through receive(), and what the server says comes out of takeOutput().
class Server {
 public:
  explicit Server(std::size_t messageLimit = kMessageLimit,
                  ServerConfig config = {});
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Takes bytes as read from the client and handles each whole message.
  void receive(std::string_view bytes);
  // True when some document changed since its diagnostics were published.
  bool hasPending() const { return pending_ > 0; }
  // Publishes the diagnostics of every document changed since.
  void publishPending();
  // The frames written since the last call.
  std::string takeOutput();
  // After "exit": the status the process ends with, 0 when "shutdown" came
  // first, as the protocol has it.
  bool finished() const { return finished_; }
  int exitStatus() const { return shutDown_ ? 0 : 1; }

 private:
  void handleBody(const std::string& body);
  void dispatch(const ProtocolJson& message);
  void request(const std::string& method, const ProtocolJson& id,
               const ProtocolJson& params);
  void notification(const std::string& method, const ProtocolJson& params);
  ProtocolJson initialize(const ProtocolJson& params);
  void openDocument(const ProtocolJson& params);
  void changeDocument(const ProtocolJson& params);
  void saveDocument(const ProtocolJson& params);
  void closeDocument(const ProtocolJson& params);
  void applySettings(const ProtocolJson& settings);
  void formatting(const ProtocolJson& id, const ProtocolJson& params);
  void codeAction(const ProtocolJson& id, const ProtocolJson& params);
  // The open document `params.textDocument.uri` names, or null.
  Document* findDocument(const ProtocolJson& params, std::string& uri);
  void markChanged(Document& document);
  void publish(const std::string& uri, ProtocolJson diagnostics);
  // The settings for `uri`; a config error is logged when it is new.
  DocumentSettings settingsOf(const std::string& uri);
  // Drops a document that grew past the limit and says so.
  bool keepWithinLimit(const std::string& uri, Document& document);

  void send(const ProtocolJson& message);
  void reply(const ProtocolJson& id, ProtocolJson result);
  void replyError(const ProtocolJson& id, int code, std::string message);
  void log(std::string message);

  FrameReader reader_;
  std::size_t messageLimit_;
  std::string output_;
  bool initialized_ = false;
  bool shutDown_ = false;
  bool finished_ = false;
  PositionEncoding encoding_ = PositionEncoding::kUtf16;
  ServerConfig config_;
  ClientSettings client_;
  std::string configError_;  // the last one logged
  std::map<std::string, Document> documents_;
  std::size_t pending_ = 0;
};

}  // namespace tagfmt::lsp
