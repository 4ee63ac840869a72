// debug_text TEXT...: writes each TEXT as the window's debug output does
// when it has no sink (to the system log), for the records test, which runs
// the README's rsyslog recipe and must find no debug text among the records.
#include "platform/DebugOutput.h"

int main(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        platform::OutputProcessDebugString(argv[k]);
    }
    return 0;
}
