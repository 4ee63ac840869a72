#include "CliHarness.h"

#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace clitest {

namespace {

constexpr int kStartBoundMs = 10000;

std::string BinDir() {
    return CORVANE_BIN_DIR;
}

}  // namespace

std::string CliPath() {
    return BinDir() + "/corvane-cli";
}

std::string SimPath() {
    return BinDir() + "/corvane-sim";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

QJsonObject ParseJsonLine(const std::string& out) {
    const auto lines = Lines(out);
    if (lines.size() != 1) {
        ADD_FAILURE() << "expected one line of JSON, got:\n" << out;
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(lines[0]), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        ADD_FAILURE() << "not a JSON object (" << error.errorString().toStdString() << "):\n"
                      << lines[0];
        return {};
    }
    return doc.object();
}

std::vector<std::string> Strings(const QJsonArray& array) {
    std::vector<std::string> out;
    for (const auto& value : array) {
        out.push_back(value.toString().toStdString());
    }
    return out;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    for (int waited = 0; !done(); waited += 10) {
        if (waited >= timeoutMs) {
            return false;
        }
        ::usleep(10000);
    }
    return true;
}

bool CSimProcess::Start(const std::vector<std::string>& args, const std::string& logPath) {
    ProcessSpec spec;
    spec.argv = {SimPath(), "--log", logPath};
    spec.argv.insert(spec.argv.end(), args.begin(), args.end());
    m_logPath = logPath;
    if (!m_process.Start(spec)) {
        return false;
    }
    const auto announced = [this] { return Contains(m_process.Out(), "\n"); };
    if (!m_process.PumpUntil(announced, kStartBoundMs) ||
        m_process.Out().rfind("PTY /dev/", 0) != 0) {
        return false;
    }
    m_device = Lines(m_process.Out()).front().substr(4);
    return true;
}

QJsonObject CSimProcess::Stop() {
    m_process.Signal(SIGTERM);
    const auto code = m_process.Finish(kStartBoundMs);
    EXPECT_EQ(code, 0) << "corvane-sim ended with " << m_process.Ending() << ": "
                       << m_process.Err();
    QFile file(QString::fromStdString(m_logPath));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "corvane-sim left no log at " << m_logPath;
        return {};
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

std::vector<std::string> SimCommands(const QJsonObject& log) {
    std::vector<std::string> out;
    for (const auto& command : log["commands"].toArray()) {
        out.push_back(command.toObject()["text"].toString().toStdString());
    }
    return out;
}

CCliTest::CCliTest()
    : m_config(m_scratch.Path() + "/config"),
      m_state(m_scratch.Path() + "/state"),
      m_work(m_scratch.Path() + "/work") {
    for (const auto& dir : {m_config, m_state, m_work}) {
        std::filesystem::create_directories(dir);
    }
}

ProcessSpec CCliTest::CliSpec(const std::vector<std::string>& args) const {
    ProcessSpec spec;
    spec.argv = {CliPath()};
    spec.argv.insert(spec.argv.end(), args.begin(), args.end());
    spec.env = {"XDG_CONFIG_HOME=" + m_config, "XDG_STATE_HOME=" + m_state,
                "HOME=" + m_scratch.Path()};
    spec.cwd = m_work;
    return spec;
}

CliResult CCliTest::RunCli(const std::vector<std::string>& args, int timeoutMs) const {
    return RunCli(CliSpec(args), timeoutMs);
}

CliResult CCliTest::RunCli(const ProcessSpec& spec, int timeoutMs) const {
    CChildProcess child;
    CliResult result;
    if (!child.Start(spec)) {
        result.ending = "could not start " + spec.argv[0];
        return result;
    }
    result.code = child.Finish(timeoutMs);
    result.out = child.Out();
    result.err = child.Err();
    result.ending = child.Ending();
    return result;
}

std::string CCliTest::StartSim(const std::vector<std::string>& args) {
    if (!m_sim.Start(args, m_scratch.Path() + "/sim-log.json")) {
        ADD_FAILURE() << "corvane-sim did not start: " << m_sim.Process().Out()
                      << m_sim.Process().Err();
    }
    return m_sim.Device();
}

std::vector<std::string> CCliTest::SessionLogLines() const {
    std::ifstream in(SessionLogPath());
    std::stringstream text;
    text << in.rdbuf();
    return Lines(text.str());
}

std::string Describe(const CliResult& r) {
    return "ended: " + r.ending + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
}

}  // namespace clitest
