// tagfmt-check: says what tagfmt would do to each file, and writes nothing.
#include "check/check.h"

int main(int argc, char** argv) { return tagfmt::runCheck(argc, argv); }
