// Faults and notes as JSON, names that may not be UTF-8, and JSON as text
// and back.
#include "report/json.h"

#include "report/check_wording.h"
#include "report/names.h"

namespace tagfmt {

namespace {

void putSpan(Json& value, const TextSpan& span) {
  value["line"] = span.line;
  value["column"] = span.column;
  value["endLine"] = span.endLine;
  value["endColumn"] = span.endColumn;
}

}  // namespace

const char* faultCode(FaultKind kind) {
  switch (kind) {
    case FaultKind::kUnexpected:
      return "unexpected-closing-tag";
    case FaultKind::kMismatch:
      return "mismatched-closing-tag";
    case FaultKind::kMissing:
      return "missing-closing-tag";
  }
  return "";
}

const char* noteCode(NoteKind kind) {
  switch (kind) {
    case NoteKind::kSelfClosed:
      return "self-closed-tag";
    case NoteKind::kPrefixName:
      return "prefix-name";
    case NoteKind::kDeclaration:
      return "declaration-runs-on";
    case NoteKind::kQuoteInComment:
      return "quote-in-comment";
    case NoteKind::kSpacesShow:
      return "spaces-show";
    case NoteKind::kBreaksMatter:
      return "line-breaks-matter";
    case NoteKind::kRegionUnclosed:
      return "region-unclosed";
  }
  return "";
}

const char* noteSeverity(NoteKind kind) {
  return kind == NoteKind::kSpacesShow || kind == NoteKind::kBreaksMatter
             ? "warning"
             : "info";
}

Json faultJson(const NestingFault& fault) {
  Json value{{"code", faultCode(fault.kind)},
             {"severity", "error"},
             {"message", faultText(fault)}};
  putSpan(value, fault.span);
  if (fault.kind == FaultKind::kMismatch) {
    Json related;
    putSpan(related, fault.openSpan);
    std::string opened = "<";
    opened += kTagRules[static_cast<std::size_t>(fault.openRule)].name;
    opened += "> opened here";
    related["message"] = std::move(opened);
    value["related"] = std::move(related);
  }
  return value;
}

Json noteJson(const Note& note) {
  Json value{{"code", noteCode(note.kind)},
             {"severity", noteSeverity(note.kind)},
             {"message", noteText(note)}};
  putSpan(value, note.span);
  value["fault"] = note.fault == kNoFault ? Json() : Json(note.fault);
  return value;
}

void putName(Json& object, const std::string& key, std::string_view name) {
  std::string valid;
  bool replaced = false;
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t length = utf8SequenceLength(name.substr(at));
    if (length == 0) {
      valid += "\xEF\xBF\xBD";
      replaced = true;
      ++at;
    } else {
      valid.append(name.substr(at, length));
      at += length;
    }
  }
  object[key] = std::move(valid);
  if (replaced) object[key + "Bytes"] = base64(name);
}

std::string base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) {
      const auto byte =
          i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u;
      group = (group << 8) | byte;
    }
    for (std::size_t i = 0; i < 4; ++i) {
      out += i <= count ? kDigits[(group >> (18 - 6 * i)) & 0x3F] : '=';
    }
  }
  return out;
}

std::string jsonText(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string jsonText(const ProtocolJson& message) {
  return message.dump(-1, ' ', false, ProtocolJson::error_handler_t::replace);
}

ProtocolJson parseProtocolJson(std::string_view text) {
  return ProtocolJson::parse(text, nullptr, false);
}

}  // namespace tagfmt
