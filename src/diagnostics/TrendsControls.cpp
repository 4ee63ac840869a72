#include "diagnostics/TrendsControls.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include "diagnostics/ChargerVariables.h"
#include "diagnostics/TrendStrip.h"
#include "diagnostics/TrendStrips.h"

namespace {

const struct {
    const char* text;
    int seconds;
} kSpans[] = {{"1 minute", 60},
              {"10 minutes", 600},
              {"1 hour", 3600},
              {"6 hours", 21600},
              {"24 hours", 86400}};

QListWidget* BuildValueList(QWidget& window) {
    auto* list = new QListWidget(&window);
    list->setObjectName(QStringLiteral("values"));
    for (int row = 0; row < kVariableRows; ++row) {
        auto* item = new QListWidgetItem(QString::fromLatin1(VariableLabel(row)), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setForeground(CTrendStrip::RowColour(row));
    }
    // Every name in full, never "Charge Cur...": the list is as wide as its
    // widest entry with its check box, and never scrolls sideways.
    list->setFixedWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + 8);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return list;
}

}  // namespace

CTrendsControls CTrendsControls::Build(QWidget& window) {
    CTrendsControls c;
    c.values = BuildValueList(window);

    c.strips = new CTrendStrips(&window);
    auto* stripArea = new QScrollArea(&window);
    stripArea->setObjectName(QStringLiteral("stripArea"));
    stripArea->setWidget(c.strips);
    stripArea->setWidgetResizable(true);
    stripArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    c.scroll = new QScrollBar(Qt::Horizontal, &window);
    c.scroll->setObjectName(QStringLiteral("timeScroll"));
    c.scroll->setRange(0, 0);

    c.span = new QComboBox(&window);
    for (const auto& span : kSpans) {
        c.span->addItem(QString::fromLatin1(span.text), span.seconds);
    }
    c.span->setCurrentIndex(c.span->findData(kDefaultSpanSeconds));
    c.pause = new QPushButton(QStringLiteral("&Pause"), &window);
    c.record = new QPushButton(QStringLiteral("&Record..."), &window);
    c.close = new QPushButton(QStringLiteral("Close"), &window);
    for (QPushButton* button : {c.pause, c.record, c.close}) {
        button->setAutoDefault(false);
    }

    c.status = new QLabel(&window);
    c.status->setObjectName(QStringLiteral("status"));
    c.status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    c.status->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("Show the last"), &window));
    buttons->addWidget(c.span);
    buttons->addWidget(c.pause);
    buttons->addWidget(c.record);
    buttons->addStretch(1);
    buttons->addWidget(c.close);
    auto* right = new QVBoxLayout;
    right->addWidget(stripArea, 1);
    auto* timeBand = new QWidget(&window);
    timeBand->setObjectName(QStringLiteral("timeBand"));
    c.strips->SetTimeBand(timeBand);
    right->addWidget(timeBand);
    right->addWidget(c.scroll);
    right->addLayout(buttons);
    right->addWidget(c.status);
    auto* layout = new QHBoxLayout(&window);
    layout->addWidget(c.values);
    layout->addLayout(right, 1);
    return c;
}
