// The lookup of tag names in the rule table, kTagRules (format/format.h).
#pragma once

#include <string_view>

namespace tagfmt {

// Returns the index of the first rule whose name is a case-insensitive prefix
// of `name` (the text right after "<" or "</"), or -1 when none is.
int findTagRule(std::string_view name);

}  // namespace tagfmt
