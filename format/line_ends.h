// Line-end normalisation: every line break (CR LF, LF or a lone CR) becomes
// CR LF.
#pragma once

#include <string>
#include <string_view>

namespace tagfmt {

// Returns `text` with every line break written as CR LF.
std::string normaliseLineEnds(std::string_view text);

// Rewrites `text` with every line break written as CR LF, without a second
// buffer: the same result as normaliseLineEnds(text).
void normaliseLineEndsInPlace(std::string& text);

// True when every line break in `text` is a CR LF already.
bool isNormalised(std::string_view text);

// True when normaliseLineEnds(text) would equal `original`; builds nothing.
bool normalisedEquals(std::string_view text, std::string_view original);

}  // namespace tagfmt
