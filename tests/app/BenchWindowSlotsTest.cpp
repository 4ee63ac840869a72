// The bench window and the slots file: the rows' slot column, which shows
// once a slot has a label and names the failures below the table, and a
// window that will not start on a slots file it cannot use.
#include <QTest>

#include <filesystem>
#include <fstream>

#include "TestKit.h"
#include "app/BenchWindow.h"
#include "app/BenchWindowRows.h"

namespace {

bench::BenchEvent Failed(int slot, const std::string& label) {
    bench::BenchEvent event;
    event.kind = bench::EventKind::Finished;
    event.slot.slot = slot;
    event.slot.port =
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C2" + std::to_string(slot) + "-if00-port0";
    event.slot.label = label;
    event.slot.state = bench::SlotState::Finished;
    bench::RunResult result;
    result.outcome = records::Outcome::Failed;
    result.reason = "The charger did not answer.";
    result.answered = true;
    event.slot.result = result;
    return event;
}

}  // namespace

class BenchWindowSlotsTest : public QObject {
    Q_OBJECT

private slots:
    void slotColumnShowsOnceASlotHasALabel() {
        CBenchWindowRows rows(nullptr);
        QCOMPARE(rows.horizontalHeaderItem(CBenchWindowRows::kSlot)->text(), QString("Slot"));
        rows.Show(Failed(0, ""));
        QVERIFY(rows.isColumnHidden(CBenchWindowRows::kSlot));
        rows.Show(Failed(1, "Left shelf 2"));
        QVERIFY(!rows.isColumnHidden(CBenchWindowRows::kSlot));
        QCOMPARE(rows.CellText(0, CBenchWindowRows::kSlot), QString());
        QCOMPARE(rows.CellText(1, CBenchWindowRows::kSlot), QString("Left shelf 2"));
        QCOMPARE(rows.CellText(1, CBenchWindowRows::kPort),
                 QString("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C21-if00-port0"));
        QCOMPARE(rows.FailureLines(),
                 (QStringList{"usb-FTDI_FT232R_USB_UART_A10K3C20-if00-port0: The charger did not "
                              "answer.",
                              "Left shelf 2: The charger did not answer."}));
        rows.Clear();
        QVERIFY(rows.isColumnHidden(CBenchWindowRows::kSlot));
    }

    // The window reads the file bench --slots reads by default; a bad line
    // is said in the summary and nothing starts.
    void badSlotsFileKeepsTheBenchFromStarting() {
        testkit::CScratchConfig config;
        testkit::CScratchDir state;
        ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
        const std::string file = config.Dir() + "/Veltra/slots";
        std::filesystem::create_directories(config.Dir() + "/Veltra");
        std::ofstream(file) << "Slot 1 = pci-0000:00:14.0-usb-0:1:1.0-port0\nSlot 1 = x\n";
        CBenchWindow window;
        window.SetPorts(QString::fromStdString(state.Path() + "/charger-1"));
        QVERIFY(!window.Start());
        QVERIFY(!window.IsRunning());
        QCOMPARE(window.Summary(),
                 QString::fromStdString("The slots file cannot be used: " + file +
                                        ", line 2: the label 'Slot 1' is already given on line 1"));
        QCOMPARE(window.RowCount(), 0);
    }
};

QTEST_MAIN(BenchWindowSlotsTest)
#include "BenchWindowSlotsTest.moc"
