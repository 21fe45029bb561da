// Faults and notes as JSON, and JSON as text.
#include "report/json.h"

#include "report/wording.h"

namespace tagfmt {

Json faultJson(const NestingFault& fault) {
  return Json{{"line", fault.line}, {"message", faultText(fault)}};
}

Json noteJson(const Note& note) {
  Json value{{"line", note.line}, {"message", noteText(note)}};
  value["fault"] = note.fault == kNoFault ? Json() : Json(note.fault);
  return value;
}

std::string jsonText(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace tagfmt
