// The one JSON emitter of the programs: results as JSON values, built with
// nlohmann-json, and their text. No I/O, so the playground compiles it too.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "format/explain.h"
#include "format/format.h"

namespace tagfmt {

// Keys stay in the order they were added, so the text reads as documented.
using Json = nlohmann::ordered_json;

// A nesting fault: {"line":3,"message":"unexpected </td>"}, the message as
// faultText words it.
Json faultJson(const NestingFault& fault);

// A note: {"line":2,"message":"...","fault":0}, the message as noteText
// words it; "fault" is the index of the fault it explains, or null.
Json noteJson(const Note& note);

// The compact text of `value`. Bytes that are not UTF-8 (a file name may
// hold any) become U+FFFD, so the text is always valid JSON.
std::string jsonText(const Json& value);

}  // namespace tagfmt
