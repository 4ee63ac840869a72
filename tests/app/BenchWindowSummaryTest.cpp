// The bench window's summary under the table: it keeps room for three lines
// whatever it says, so the window's minimum size does not follow its text,
// and at that size it is shown whole (or a scroll away) beside every column.
#include <QHeaderView>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "BenchWindowKit.h"
#include "TestKit.h"
#include "app/BenchWindow.h"
#include "app/BenchWindowRows.h"
#include "records/SystemLog.h"

using benchwindowtest::RecordCount;
using benchwindowtest::RunEnds;

namespace {

class CNoSystemLog : public records::ISystemLog {
public:
    void Write(bool, const std::string&) override {}
};

}  // namespace

class BenchWindowSummaryTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_config = std::make_unique<testkit::CScratchConfig>();
        m_state = std::make_unique<testkit::CScratchDir>();
        ::setenv("XDG_STATE_HOME", m_state->Path().c_str(), 1);
    }

    void summaryKeepsThreeLinesWhateverItSays() {
        CBenchWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<QScrollArea*> areas = window.findChildren<QScrollArea*>();
        QCOMPARE(areas.size(), 1);
        const int line = areas[0]->fontMetrics().lineSpacing();
        const int least = areas[0]->minimumSizeHint().height();
        QVERIFY2(least >= 3 * line && least < 4 * line, qPrintable(QString::number(least)));
        const QSize minimum = window.minimumSize();

        window.SetPorts(QString::fromStdString(m_state->Path() + "/none-*"));
        QVERIFY(!window.Start());
        QVERIFY(window.Summary().startsWith("No port matches "));
        QCOMPARE(areas[0]->minimumSizeHint().height(), least);
        QCOMPARE(window.minimumSize(), minimum);
        window.resize(minimum);
        QTRY_COMPARE(window.size(), minimum);
        QVERIFY(areas[0]->height() >= 3 * line);
    }

    // At its minimum size the window shows everything: the summary with its
    // reasons clear of the table, and every column in view or a scroll away.
    void minimumSizeFitsTheSummaryAndReachesEveryColumn() {
        CNoSystemLog systemLog;
        CBenchWindow window(nullptr, &systemLog);
        QString ports;
        for (int i = 1; i <= 5; ++i) {
            ports += QString::fromStdString(m_state->Path()) + "/usb-FTDI_FT232R_USB_UART_A10K3C2" +
                     QString::number(i) + "-if00-port0 ";
        }
        window.SetPorts(ports);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.Start());
        QVERIFY(RunEnds(window, 30000));
        QVERIFY(window.Summary().count('\n') >= 4);  // the tally, three reasons, the rest
        // No charger answered on the absent ports: none failed, none was recorded.
        QVERIFY(
            window.Summary().startsWith("Upgraded 0, already current 0, read 0, failed 0; 5 "
                                        "without an answer, not recorded.\n"));
        QCOMPARE(RecordCount(), 0);
        window.resize(window.minimumSize());
        QTRY_COMPARE(window.size(), window.minimumSize());
        QCoreApplication::processEvents();

        QLabel* summary = nullptr;
        for (QLabel* label : window.findChildren<QLabel*>()) {
            summary = label->text() == window.Summary() ? label : summary;
        }
        QVERIFY(summary != nullptr);
        CBenchWindowRows& rows = *window.findChild<CBenchWindowRows*>();
        const auto inWindow = [&window](const QWidget* widget, const QRect& rect) {
            return QRect(widget->mapTo(&window, rect.topLeft()), rect.size());
        };
        const QRect shown = inWindow(summary, summary->visibleRegion().boundingRect());
        QVERIFY(!shown.isEmpty());
        QVERIFY(window.rect().contains(shown));
        QVERIFY(!shown.intersects(inWindow(rows.viewport(), rows.viewport()->rect())));
        const QScrollBar* across = rows.horizontalScrollBar();
        QVERIFY(!across->isVisible() || !shown.intersects(inWindow(across, across->rect())));
        // No line of the reasons is cut: the text has its whole height, and
        // what does not fit is a scroll away.
        QVERIFY(summary->height() >= summary->heightForWidth(summary->width()));
        if (shown.height() < summary->height()) {
            auto* area = qobject_cast<QScrollArea*>(summary->parentWidget()->parentWidget());
            QVERIFY(area != nullptr && area->verticalScrollBar()->isVisible());
            QCOMPARE(area->verticalScrollBar()->maximum(),
                     summary->height() - area->viewport()->height());
        }
        // Each column in view, or brought into it by the scroll bar, at least as
        // wide as its heading.
        QHeaderView& header = *rows.horizontalHeader();
        const int viewWidth = rows.viewport()->width();
        for (int column = 0; column < CBenchWindowRows::kColumns; ++column) {
            if (rows.isColumnHidden(column)) {
                continue;  // the slot column, with no slots file
            }
            rows.scrollTo(rows.model()->index(0, column));
            const int left = header.sectionViewportPosition(column);
            const int width = header.sectionSize(column);
            const QString heading = rows.horizontalHeaderItem(column)->text();
            QVERIFY2(width >= header.fontMetrics().horizontalAdvance(heading), qPrintable(heading));
            QVERIFY2(left >= 0 && left + std::min(width, viewWidth) <= viewWidth,
                     qPrintable(heading));
        }
        QCOMPARE(rows.horizontalHeaderItem(CBenchWindowRows::kResult)->text(), QString("Result"));
    }
    void cleanup() {
        m_config.reset();
        m_state.reset();
    }

private:
    std::unique_ptr<testkit::CScratchConfig> m_config;
    std::unique_ptr<testkit::CScratchDir> m_state;
};

QTEST_MAIN(BenchWindowSummaryTest)
#include "BenchWindowSummaryTest.moc"
