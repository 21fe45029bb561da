// A seam for tests of the check every tidied text gets: a test build can
// break the pass's output on purpose; the shipped programs cannot.
#pragma once

#include <string>

namespace tagfmt {

// Called on each tidied text before it is checked. The shipped programs
// link a version that does nothing (seam_off.cc); test builds link
// seam_on.cc, which breaks the text when TAGFMT_BREAK_TIDIED is set.
void breakTidiedForTest(std::string& tidied);

}  // namespace tagfmt
