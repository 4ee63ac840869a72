#include "app/AppIcon.h"

#include <QString>

QIcon AppIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 128}) {
        icon.addFile(QStringLiteral(":/corvane/icons/corvane-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QPixmap LogoPicture() {
    return QPixmap(QStringLiteral(":/corvane/logo.png"));
}
