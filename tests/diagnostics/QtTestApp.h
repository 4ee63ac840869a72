// One QApplication for a widget test process, on the offscreen platform.
#pragma once

#include <QApplication>
#include <QByteArray>

namespace diagtest {

// Put first among a fixture's members, so the application exists before any widget.
struct CApplicationFirst {
    CApplicationFirst() {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        static int argc = 1;
        static char name[] = "diagnostics_tests";
        static char* argv[] = {name, nullptr};
        // Never destroyed: Qt's input devices, made on the first key event,
        // are torn down at exit after a static application would be, and
        // crash when they find it gone.
        static auto* app = new QApplication(argc, argv);
        (void)app;
    }
};

}  // namespace diagtest
