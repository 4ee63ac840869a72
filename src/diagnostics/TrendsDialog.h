// Charger trends: the charger's values drawn over time, as long as the
// window is open, recorded to a file on request.
//
// Principles of operation
//   The launcher gives the window a port of its own and the device path the
//   port's name leads to, and shows the window. On its first
//   showing the window starts a report feed on the port (which asks the
//   charger for its report) and a timer that polls the feed every
//   CReportFeed::kPollMs. Every report taken goes into the trend series,
//   with the wall time it was taken at, and, while recording, into the
//   record file (the command line's format). An unplugged adapter breaks the
//   curves and writes the gap into the record; the feed reopens the port when
//   the device is back.
//
//   The user ticks the values to plot in the list on the left; each ticked
//   value gets a strip of its own (CTrendStrips), all on one time axis. The
//   strips show a window of the chosen span; they follow the newest report
//   unless the scroll bar under them has been moved back or the view is
//   paused, so the time axis scrolls as reports come. Pause freezes the view
//   only: reports are still taken and recorded, and the status line says
//   "Paused". What the strips draw is the series decimated to their pixel
//   columns, redrawn at most once a second while reports come and at once
//   after every change the user makes; the series itself keeps every value.
//   The ticked values and the span are stored in the settings as the user
//   changes them and read back when the window opens.
//
//   The status line says when no report has come ("Waiting for the charger's
//   report", "No report since hh:mm:ss"), when the link is lost, and where
//   the record goes. However the window ends, the port is left closed.
//
//   The window is not modal: the main window stays usable (a Read on another
//   port) while it records. For that it works on a port object of its own
//   (OwnPort), never on the main window's.
//
// Threads: user-interface thread only. The port's workers fill its ring.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointF>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "diagnostics/ReportFeed.h"
#include "diagnostics/ReportNotice.h"
#include "diagnostics/ReportRecorder.h"
#include "diagnostics/TrendSeries.h"
#include "diagnostics/WallTime.h"
#include "platform/Clock.h"

class CSerialPort;
class CTrendStrips;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollBar;
class QTimer;

class CTrendsDialog : public QDialog {
public:
    static constexpr int kRedrawMs = 1000;

    explicit CTrendsDialog(QWidget* parent = nullptr);
    ~CTrendsDialog() override;

    // The port the window reads; set before the window runs. Borrowed, or
    // the window's own after OwnPort.
    CSerialPort* m_pPort = nullptr;
    void OwnPort(std::unique_ptr<CSerialPort> port);
    // What the port's name leads to, watched for the adapter's return.
    std::string m_strDevicePath;
    // The clocks the window runs on (tests give fakes); set before it runs.
    void SetClocks(platform::IClock& clock, WallClock wallClock);

    // One poll of the feed; public so that tests can drive the window.
    void OnTimer();
    // Recording, as the Record button does after asking for the file; false
    // with the reason on the status line when the file cannot be opened.
    bool StartRecording(const std::string& path);
    void StopRecording();
    bool IsRecording() const { return m_recorder.IsOpen(); }
    void SetPaused(bool paused);
    bool IsPaused() const { return m_paused; }
    // Ticks or clears a value in the list.
    void SetPlotted(int row, bool plotted);
    bool IsPlotted(int row) const;
    // The span of the view, in seconds.
    void SetSpanSeconds(int seconds);
    int SpanSeconds() const { return m_spanSeconds; }
    // Moves the view to the newest reports (unless paused) and redraws the
    // chart from the series now.
    void Redraw();

    const CTrendSeries& Series() const { return m_series; }
    // The points the strips hold for one value, one list a curve segment.
    std::vector<QList<QPointF>> Plotted(int row) const;
    const CTrendStrips& Strips() const { return *m_strips; }
    // The time window the chart shows, in milliseconds since the epoch.
    double ViewFromMs() const { return m_viewFromMs; }
    double ViewToMs() const { return m_viewToMs; }
    QString StatusText() const;
    bool IsTimerActive() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void LoadSettings();
    void SaveSettings() const;
    void OnTicksChanged();
    void OnInitDialog();
    void OnDestroy();
    void OnReport(const ChargerVariables& vars);
    void OnLost();
    void OnBack();
    void OnRecordClicked();
    void OnScrolled();
    void RecordFailed();
    void UpdateView();
    void UpdateScrollBar();
    void DrawChart();
    void UpdateStatus();

    std::unique_ptr<CSerialPort> m_ownPort;  // before the feed, which uses it
    platform::IClock* m_clock;
    WallClock m_wallClock;
    std::unique_ptr<CReportFeed> m_feed;
    CReportNotice m_notice;
    CReportRecorder m_recorder;
    CTrendSeries m_series;
    QString m_linkText;
    QString m_recordText;
    bool m_paused = false;
    bool m_following = true;
    bool m_changed = false;
    bool m_inTimer = false;
    bool m_initialised = false;
    bool m_loading = false;
    int m_spanSeconds = 600;
    double m_viewFromMs = 0;
    double m_viewToMs = 0;
    std::uint32_t m_lastRedrawMs = 0;

    QTimer* m_timer = nullptr;
    QListWidget* m_rows = nullptr;
    CTrendStrips* m_strips = nullptr;
    QScrollBar* m_scroll = nullptr;
    QComboBox* m_span = nullptr;
    QPushButton* m_btnPause = nullptr;
    QPushButton* m_btnRecord = nullptr;
    QLabel* m_status = nullptr;
};
