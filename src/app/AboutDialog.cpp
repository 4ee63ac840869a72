#include "app/AboutDialog.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"
#include "app/VersionInfo.h"
#include "diagnostics/DialogUnits.h"

CAboutDialog::CAboutDialog(QWidget* parent) : CAboutDialog(ExecutableVersionInfo(), parent) {}

CAboutDialog::CAboutDialog(std::span<const char> versionInfo, QWidget* parent) : QDialog(parent) {
    m_strVersion = VersionFrom(versionInfo);
    BuildTemplate();
}

QString CAboutDialog::VersionFrom(std::span<const char> versionInfo) {
    QString version;
    if (versionInfo.empty()) {
        return version;
    }
    if (const auto value = QueryVersionValue(versionInfo, kProductVersionKey)) {
        version = QString::fromStdString(*value);
        // Version resources write their numbers with commas.
        while (version.contains(QLatin1Char(','))) {
            version.replace(version.indexOf(QLatin1Char(',')), 1, QLatin1Char('.'));
        }
    }
    return version;
}

void CAboutDialog::BuildTemplate() {
    setWindowTitle(QStringLiteral("About Corvane"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(CDialogUnits::DialogFont());
    const CDialogUnits units(font());
    setFixedSize(units.Size(233, 65));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(units.Rect(176, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // An icon picture takes the size of its icon.
    auto* picture = new QLabel(this);
    const QSize iconSize(kIconSize, kIconSize);
    picture->setPixmap(AppIcon().pixmap(iconSize));
    picture->setGeometry(QRect(units.Rect(7, 7, 20, 20).topLeft(), iconSize));

    auto* label = new QLabel(QStringLiteral("Version"), this);
    label->setGeometry(units.Rect(35, 19, 34, 9));

    auto* version = new QLabel(m_strVersion, this);
    version->setObjectName(QLatin1String(kVersionControlName));
    version->setGeometry(units.Rect(73, 19, 56, 9));
}
