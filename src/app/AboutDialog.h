// About box: the utility's icon and its product version.
//
// Principles of operation
//   The constructor reads the product version from the executable's version
//   information (VersionInfo.h) and shows it with every comma turned into a
//   point; information without a product version shows an empty text. The
//   box has no handlers of its own: "OK" and Esc end it. Its controls are
//   laid out from dialog units of the 8-point dialog font, at a fixed size.
//
// Threads: user-interface thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <span>

class CAboutDialog : public QDialog {
public:
    // The object name of the static text that shows the version (control 1017).
    static constexpr const char* kVersionControlName = "control1017";

    explicit CAboutDialog(QWidget* parent = nullptr);
    // The same box over the given version information.
    CAboutDialog(std::span<const char> versionInfo, QWidget* parent);

    // The product version as the box shows it; empty when there is none.
    static QString VersionFrom(std::span<const char> versionInfo);

    QString m_strVersion;

private:
    void BuildTemplate();
};
