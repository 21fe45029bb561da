// tagfmt: re-indents HTML pages and XSL stylesheets in place.
#include "driver/driver.h"

int main(int argc, char** argv) { return tagfmt::runCommandLine(argc, argv); }
