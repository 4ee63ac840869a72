#include "app/PortComboBox.h"

#include <QMetaObject>

CPortComboBox::CPortComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
}

void CPortComboBox::hidePopup() {
    QComboBox::hidePopup();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (onCloseUp) {
                onCloseUp();
            }
        },
        Qt::QueuedConnection);
}
