#include "bench/BenchRun.h"

#include <utility>

#include "bench/FailureReason.h"
#include "bench/RunView.h"
#include "bench/StopClock.h"
#include "platform/DebugOutput.h"
#include "platform/MessageBox.h"
#include "protocol/DeviceIdLine.h"
#include "protocol/Identification.h"
#include "protocol/UpgradeSequence.h"
#include "records/ReplyTranscript.h"
#include "serial/SerialPort.h"

namespace bench {
namespace {

constexpr char kReadComplete[] = "Read Version Complete";
constexpr char kNoSoftware[] = "No Software Detected";
constexpr char kNoCommunications[] = "No Communications With Charger";
constexpr char kReading[] = "Reading Version Information";
constexpr char kUpgradeSuccessful[] = "Upgrade Successful";

}  // namespace

CBenchRun::CBenchRun(SlotInfo slot, std::shared_ptr<const CFirmwareImage> image,
                     ImageInfo imageInfo, const BenchOptions& options, Emit emit)
    : m_slot(std::move(slot)),
      m_image(std::move(image)),
      m_imageInfo(std::move(imageInfo)),
      m_options(options),
      m_emit(std::move(emit)) {}

void CBenchRun::RequestStop(bool gone) {
    if (gone) {
        m_gone = true;
    }
    m_stop = true;
    m_stopEvent.Set();
}

bool CBenchRun::StopRequested() const {
    return m_stop || (m_options.stopRequested && m_options.stopRequested());
}

void CBenchRun::Send(EventKind kind) {
    if (m_pClock != nullptr) {
        m_slot.seconds = (m_pClock->NowMs() - m_startMs) / 1000.0;
    }
    m_emit(kind, m_slot);
}

void CBenchRun::OnStatus(const std::string& status) {
    m_slot.status = status;
    if (m_slot.state == SlotState::Upgrading && status == kReading) {
        m_slot.state = SlotState::Checking;
        m_slot.block = 0;
    }
    Send(EventKind::Status);
}

void CBenchRun::OnBlock(int block, int total, int resends) {
    m_slot.block = block;
    m_slot.totalBlocks = total;
    m_slot.resends = resends;
    Send(EventKind::Progress);
}

void CBenchRun::Run() {
    std::unique_ptr<platform::IClock> clock =
        m_options.makeClock ? m_options.makeClock() : std::make_unique<CStopClock>(m_stopEvent);
    m_pClock = clock.get();
    CRunView view(m_image->Label(),
                  {[this](const std::string& s) { OnStatus(s); },
                   [this](int block, int total, int resends) { OnBlock(block, total, resends); },
                   [this] { return StopRequested(); }});
    // Boxes become this job's messages; debugger texts carry its port.
    platform::CThreadMessageBoxes boxes(
        [&view](const std::string& text, const std::string&) { view.AddMessage(text); });
    platform::CThreadDebugSink debug([tag = "[" + m_slot.port + "] "](std::string_view text) {
        platform::OutputProcessDebugString(tag + std::string(text));
    });
    RunResult result;
    result.image = m_imageInfo;
    {
        CSerialPort port;
        port.SetStopTimeoutMs(m_options.portStopTimeoutMs);
        m_startMs = clock->NowMs();
        m_slot.state = SlotState::Reading;
        Send(EventKind::Started);
        Work(port, view, *clock, result);
    }  // closed, and its workers ended, before the result is told
    result.seconds = (clock->NowMs() - m_startMs) / 1000.0;
    m_slot.state = SlotState::Finished;
    m_slot.block = 0;
    m_slot.after = result.after;
    m_slot.result = result;
    Send(EventKind::Finished);
    m_pClock = nullptr;
}

void CBenchRun::Work(CSerialPort& port, CRunView& view, platform::IClock& clock,
                     RunResult& result) {
    records::CReplyTranscript transcript;
    port.SetPortName(m_slot.port);
    transcript.Listen(port);
    transcript.SetRecording(true);
    ReadChargerVersions(port, view, clock);
    transcript.SetRecording(false);
    result.identification = transcript.Lines();
    result.deviceId = DeviceIdFrom(result.identification);
    result.portOpened = view.LastStatus() != kNoCommunications;
    result.bootCode = view.BootCode();
    result.before = view.ChargerCode();
    m_slot.deviceId = result.deviceId;
    m_slot.bootCode = result.bootCode;
    m_slot.before = result.before;
    const bool upgrade = !StopRequested() && result.portOpened && ShouldUpgrade(view);
    if (upgrade) {
        m_slot.state = SlotState::Upgrading;
        Send(EventKind::Status);
        // The first read's version is kept in before; from here on the view
        // holds only what the check after the upload reads, so an upload
        // that was stopped or lost its charger leaves after unknown.
        view.ChargerCode().clear();
        RunUpgrade(port, view, clock, *m_image);
    }
    result.after = view.ChargerCode();
    result.answered = transcript.Heard();
    Judge(view, result, upgrade);
}

bool CBenchRun::ShouldUpgrade(const CRunView& view) const {
    switch (m_options.mode) {
        case Mode::ReadOnly:
            return false;
        case Mode::Force:
            return view.UpgradeOffered() || view.LastStatus() == kReadComplete;
        case Mode::IfNeeded:
            break;
    }
    return view.UpgradeOffered();  // as the window offers it
}

void CBenchRun::Judge(CRunView& view, RunResult& result, bool upgraded) const {
    result.messages = view.Messages();
    result.blocks = view.HighestBlock();
    result.resends = view.Resends();
    const std::string& last = view.LastStatus();
    if (upgraded) {
        result.outcome = last == kUpgradeSuccessful ? Outcome::Upgraded : Outcome::Failed;
    } else if (m_options.mode == Mode::ReadOnly) {
        // A boot loader without firmware answered too.
        result.outcome =
            last == kReadComplete || last == kNoSoftware ? Outcome::Read : Outcome::Failed;
    } else {
        result.outcome =
            last == kReadComplete && !view.UpgradeOffered() ? Outcome::Current : Outcome::Failed;
    }
    // A stop that came after the verdict changes nothing.
    result.stopped = result.outcome == Outcome::Failed && StopRequested();
    if (result.outcome != Outcome::Failed) {
        return;
    }
    if (!result.portOpened && !result.stopped && m_options.explainOpenFailure) {
        result.reason = m_options.explainOpenFailure(m_slot.device);
        return;
    }
    FailureFacts facts;
    facts.messages = result.messages;
    facts.lastStatus = last;
    facts.uploadEnd = view.UploadEnd();
    facts.block = view.HighestBlock();
    facts.totalBlocks = view.TotalBlocks();
    facts.stopped = result.stopped;
    facts.gone = m_gone;
    result.reason = FailureReason(facts);
}

}  // namespace bench
