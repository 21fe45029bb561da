// Faults and notes as JSON, names that may not be UTF-8, and JSON as text.
#include "report/json.h"

#include "report/wording.h"

namespace tagfmt {

namespace {

void putSpan(Json& value, const TextSpan& span) {
  value["line"] = span.line;
  value["column"] = span.column;
  value["endLine"] = span.endLine;
  value["endColumn"] = span.endColumn;
}

// The length of the well-formed UTF-8 sequence at text[at], or 0 when the
// byte there begins none.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[at + i]);
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
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
    const std::size_t length = sequenceLength(name, at);
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

}  // namespace tagfmt
