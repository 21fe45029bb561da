// tagfmt-check: says what tagfmt would do to each file, or does it (--fix).
#include "check/run_check.h"

int main(int argc, char** argv) { return tagfmt::runCheck(argc, argv); }
