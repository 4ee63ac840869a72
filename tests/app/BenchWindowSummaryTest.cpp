// The bench window's summary under the table: it keeps room for three lines
// whatever it says, so the window's minimum size does not follow its text.
#include <QScrollArea>
#include <QTest>

#include <cstdlib>

#include "TestKit.h"
#include "app/BenchWindow.h"

class BenchWindowSummaryTest : public QObject {
    Q_OBJECT

private slots:
    void summaryKeepsThreeLinesWhateverItSays() {
        testkit::CScratchConfig config;
        testkit::CScratchDir state;
        ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
        CBenchWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<QScrollArea*> areas = window.findChildren<QScrollArea*>();
        QCOMPARE(areas.size(), 1);
        const int line = areas[0]->fontMetrics().lineSpacing();
        const int least = areas[0]->minimumSizeHint().height();
        QVERIFY2(least >= 3 * line && least < 4 * line, qPrintable(QString::number(least)));
        const QSize minimum = window.minimumSize();

        window.SetPorts(QString::fromStdString(state.Path() + "/none-*"));
        QVERIFY(!window.Start());
        QVERIFY(window.Summary().startsWith("No port matches "));
        QCOMPARE(areas[0]->minimumSizeHint().height(), least);
        QCOMPARE(window.minimumSize(), minimum);
        window.resize(minimum);
        QTRY_COMPARE(window.size(), minimum);
        QVERIFY(areas[0]->height() >= 3 * line);
    }
};

QTEST_MAIN(BenchWindowSummaryTest)
#include "BenchWindowSummaryTest.moc"
