// What the window's tests share: a scratch settings and state folder for
// each test, a simulated charger paced by the window, an image file made as
// the tools make one, the texts the version panel drew, the service records
// written, whether the menu offers the carried image again, and the port
// the settings hold.
#pragma once

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "TestKit.h"
#include "app/MainDialog.h"
#include "records/RecordJournal.h"
#include "sim/Scenarios.h"
#include "sim/SimulatedCharger.h"

namespace windowtest {

// Settings and service records of one test's own, the records found
// through XDG_STATE_HOME as the window finds them.
struct CScratch {
    CScratch() { qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state.Path())); }
    testkit::CScratchConfig config;
    testkit::CScratchDir state;
};

// A scenario's charger that answers at once: the window's own waits set the
// pace.
inline sim::SimOptions Unpaced(const char* scenario) {
    sim::SimOptions options;
    sim::ScenarioOptions(scenario, options);
    options.paceOutput = false;
    return options;
}

using Stored = std::optional<std::string>;

inline CSettingsKey Settings() {
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    return key;
}

// The "Port" the settings hold, none when absent.
inline Stored StoredPort() {
    const std::string absent = "\x01";
    const std::string value = Settings().ReadValue("Port", absent.c_str());
    return value == absent ? std::nullopt : Stored(value);
}

// tools/make_image.py --label LABEL DIR/LABEL.bin; the file's path.
inline QString MakeImage(const std::string& dir, const QString& label) {
    const QString path = QString::fromStdString(dir) + "/" + label + ".bin";
    QProcess python;
    python.start("python3", {CORVANE_SOURCE_DIR "/tools/make_image.py", "--label", label, path});
    const bool made = python.waitForFinished(30000) && python.exitCode() == 0;
    return made ? path : QString();
}

inline bool CarriedImageItemEnabled(const CMainDialog& dialog) {
    for (QAction* action : dialog.m_menuSystem->actions()) {
        if (action->data().toUInt() == CMainDialog::kIdmUseCarriedImage) {
            return action->isEnabled();
        }
    }
    return false;
}

inline QStringList DrawnTexts(const CVersionPanel& panel) {
    QStringList texts;
    for (const auto& d : panel.Drawings()) {
        if (d.kind == CVersionPanel::Drawing::Kind::Text) {
            texts << d.text;
        }
    }
    return texts;
}

inline QStringList RecordLines() {
    QStringList lines;
    std::ifstream file(records::RecordsPath());
    for (std::string line; std::getline(file, line);) {
        lines << QString::fromStdString(line);
    }
    return lines;
}

}  // namespace windowtest
