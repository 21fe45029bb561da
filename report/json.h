// The one JSON door of the programs: results as JSON values, built with
// nlohmann-json, the language server's messages, and their text. No I/O,
// so the playground compiles it too.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "format/explain.h"
#include "format/format.h"

namespace tagfmt {

// Keys stay in the order they were added, so the text reads as documented.
using Json = nlohmann::ordered_json;

// The language server's messages. Their keys are sorted, as the server has
// always written them, and clients may compare the bytes.
using ProtocolJson = nlohmann::json;

// The stable codes of each kind of fault and note, and a note's severity
// ("warning" where the tidied page shows a change, else "info"); faults
// are all "error". Codes are kebab-case and never reused.
const char* faultCode(FaultKind kind);
const char* noteCode(NoteKind kind);
const char* noteSeverity(NoteKind kind);

// A nesting fault: {"code", "severity", "message" (as faultText words it),
// "line", "column", "endLine", "endColumn"} and, for a closing tag that
// does not match, "related": the opening tag's span and "message".
Json faultJson(const NestingFault& fault);

// A note: {"code", "severity", "message" (as noteText words it), "line",
// "column", "endLine", "endColumn", "fault"}; "fault" is the index of the
// fault it explains, or null.
Json noteJson(const Note& note);

// Sets `key` of `object` to `name` as it is when it is well-formed UTF-8.
// Otherwise `key` holds it with U+FFFD for each byte that begins no UTF-8
// sequence, and `key` + "Bytes" holds its bytes in base64, so that the
// name can be had back.
void putName(Json& object, const std::string& key, std::string_view name);

// `bytes` in base64 (RFC 4648, with padding).
std::string base64(std::string_view bytes);

// The compact text of `value`. Bytes that are not UTF-8 (a file name may
// hold any) become U+FFFD, so the text is always valid JSON.
std::string jsonText(const Json& value);

// The compact text of a message, with the same care for bytes that are not
// UTF-8.
std::string jsonText(const ProtocolJson& message);

// `text` parsed as one message, or a discarded value (is_discarded()) when
// it is not JSON; it never throws for bad input.
ProtocolJson parseProtocolJson(std::string_view text);

}  // namespace tagfmt
