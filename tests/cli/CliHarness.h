// CLI harness: corvane-cli and corvane-sim as child processes, each test in
// a scratch home of its own.
//
// Principles of operation
//   CCliTest gives every test fresh config, state and working folders, passed
//   to the command line as XDG_CONFIG_HOME, XDG_STATE_HOME, HOME and its
//   working directory, so no test sees another's settings or session log.
//   RunCli runs one command to its end within a bound. CSimProcess starts
//   corvane-sim, reads the device path from its first line and, when stopped,
//   returns the JSON record of what the charger saw.
//
// Threads: the test's own thread.
#pragma once

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "common/TestKit.h"

namespace clitest {

std::string CliPath();
std::string SimPath();

struct CliResult {
    std::optional<int> code;  // nothing: did not exit normally in time
    std::string out;
    std::string err;
    std::string ending;
};

// The lines of a text, without their ends (a last line without end counts).
std::vector<std::string> Lines(const std::string& text);
bool Contains(const std::string& text, const std::string& part);
// The one JSON object a --json command prints: exactly one line, one object;
// a failure is recorded and an empty object returned otherwise.
QJsonObject ParseJsonLine(const std::string& out);
std::vector<std::string> Strings(const QJsonArray& array);
// Checks done() every 10 ms until it holds or timeoutMs pass.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

class CSimProcess {
public:
    // Starts corvane-sim with the arguments and --log into logPath; returns
    // false when it did not announce its device.
    bool Start(const std::vector<std::string>& args, const std::string& logPath);
    const std::string& Device() const { return m_device; }
    // Ends it with SIGTERM and reads its log (empty when there is none).
    QJsonObject Stop();
    const CChildProcess& Process() const { return m_process; }

private:
    CChildProcess m_process;
    std::string m_device;
    std::string m_logPath;
};

// The sim log's commands, in order.
std::vector<std::string> SimCommands(const QJsonObject& log);

class CCliTest : public ::testing::Test {
protected:
    CCliTest();

    ProcessSpec CliSpec(const std::vector<std::string>& args) const;
    CliResult RunCli(const std::vector<std::string>& args, int timeoutMs = 30000) const;
    CliResult RunCli(const ProcessSpec& spec, int timeoutMs) const;
    // Starts a corvane-sim whose log goes to the scratch folder; fails the
    // test when it does not start.
    std::string StartSim(const std::vector<std::string>& args);

    std::string SessionLogPath() const { return m_state + "/corvane/upgrade.log"; }
    std::vector<std::string> SessionLogLines() const;

    testkit::CScratchDir m_scratch;
    std::string m_config;
    std::string m_state;
    std::string m_work;
    CSimProcess m_sim;
};

// For assertions: the command's outcome and output in one text.
std::string Describe(const CliResult& r);

}  // namespace clitest
