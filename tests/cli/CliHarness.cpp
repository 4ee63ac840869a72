#include "CliHarness.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace clitest {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

QJsonObject ParseJsonLine(const std::string& out) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    EXPECT_TRUE(Lines(out).size() == 1 && error.error == QJsonParseError::NoError && doc.isObject())
        << "not one line holding one JSON object:\n"
        << out;
    return doc.object();
}

std::vector<std::string> SimCommands(const QJsonObject& log) {
    std::vector<std::string> out;
    for (const auto& command : log["commands"].toArray()) {
        out.push_back(command.toObject()["text"].toString().toStdString());
    }
    return out;
}

void CChild::Start(const std::string& program, const std::vector<std::string>& args) {
    QStringList list;
    for (const auto& arg : args) {
        list << QString::fromStdString(arg);
    }
    setStandardInputFile(QProcess::nullDevice());
    start(QString::fromStdString(program), list);
    EXPECT_TRUE(waitForStarted(10000)) << program << " did not start";
}

bool CChild::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const bool more = !deadline.hasExpired() && state() != QProcess::NotRunning;
        waitForReadyRead(more ? 20 : 0);
        out += readAllStandardOutput().toStdString();
        err += readAllStandardError().toStdString();
        if (done() || !more) {
            return done();
        }
    }
}

std::optional<int> CChild::Finish(int timeoutMs) {
    const bool exited = waitForFinished(timeoutMs) || state() == QProcess::NotRunning;
    if (!exited) {
        kill();
        waitForFinished(5000);
    }
    WaitFor([] { return true; }, 0);
    return exited && exitStatus() == QProcess::NormalExit ? std::optional(exitCode())
                                                          : std::nullopt;
}

std::ostream& operator<<(std::ostream& os, const CliResult& r) {
    return os << "exit " << (r.code ? std::to_string(*r.code) : "abnormal") << "\n--- stdout\n"
              << r.out << "--- stderr\n"
              << r.err;
}

CCliTest::CCliTest() {
    for (const auto& dir : {m_config, m_state, m_work}) {
        std::filesystem::create_directories(dir);
    }
}

void CCliTest::StartCli(CChild& cli, const std::vector<std::string>& args,
                        const std::function<void()>& asUser) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_config));
    env.insert("XDG_STATE_HOME", QString::fromStdString(m_state));
    env.insert("HOME", QString::fromStdString(m_scratch.Path()));
    cli.setProcessEnvironment(env);
    cli.setWorkingDirectory(QString::fromStdString(m_work));
    if (asUser) {
        cli.setChildProcessModifier(asUser);
    }
    cli.Start(CORVANE_BIN_DIR "/corvane-cli", args);
}

CliResult CCliTest::RunCli(const std::vector<std::string>& args, int timeoutMs,
                           const std::function<void()>& asUser) const {
    CChild cli;
    StartCli(cli, args, asUser);
    const auto code = cli.Finish(timeoutMs);
    return {code, cli.out, cli.err};
}

std::string CCliTest::StartSim(const std::string& args) {
    m_sim.Start(CORVANE_BIN_DIR "/corvane-sim",
                Words("--log " + m_scratch.Path() + "/sim-log.json " + args));
    const bool announced = m_sim.WaitFor([this] { return Contains(m_sim.out, "\n"); }, 10000);
    EXPECT_TRUE(announced && m_sim.out.rfind("PTY /dev/", 0) == 0)
        << "corvane-sim did not announce its device: " << m_sim.out << m_sim.err;
    return announced ? Lines(m_sim.out).front().substr(4) : "";
}

QJsonObject CCliTest::StopSim() {
    m_sim.terminate();  // SIGTERM
    EXPECT_EQ(m_sim.Finish(10000), 0) << "corvane-sim: " << m_sim.err;
    QFile file(QString::fromStdString(m_scratch.Path() + "/sim-log.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "corvane-sim left no log";
    return QJsonDocument::fromJson(file.readAll()).object();
}

std::vector<std::string> CCliTest::RecordLines() const {
    std::stringstream text;
    text << std::ifstream(RecordsPath()).rdbuf();
    return Lines(text.str());
}

}  // namespace clitest
