#include "support/ProgramVersion.h"

#ifndef CORVANE_PACKAGE_VERSION
#error "CORVANE_PACKAGE_VERSION must name the release, e.g. 2.1.0-1"
#endif

const char* ProgramVersion() {
    return CORVANE_PACKAGE_VERSION;
}
