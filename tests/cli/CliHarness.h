// CLI harness: corvane-cli and corvane-sim as child processes, each test in
// a scratch home of its own.
//
// Principles of operation
//   CCliTest gives every test fresh config, state and working folders, passed
//   to the command line as XDG_CONFIG_HOME, XDG_STATE_HOME, HOME and its
//   working directory, so no test sees another's settings or records.
//   CChild gathers a child's standard output and error while the test waits;
//   every wait has a bound, and a child still running at the end is killed.
//   StartSim reads corvane-sim's device from its first line; StopSim returns
//   the JSON record of what the charger saw.
//
// Threads: the test's own thread.
#pragma once

#include <gtest/gtest.h>

#include <QJsonObject>
#include <QProcess>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/TestKit.h"

namespace clitest {

std::vector<std::string> Lines(const std::string& text);
std::vector<std::string> Words(const std::string& text);
bool Contains(const std::string& text, const std::string& part);
// The one JSON object a --json command prints on exactly one line; a failure
// is recorded and an empty object returned otherwise.
QJsonObject ParseJsonLine(const std::string& out);
// The sim log's commands, in order.
std::vector<std::string> SimCommands(const QJsonObject& log);

class CChild : public QProcess {
public:
    void Start(const std::string& program, const std::vector<std::string>& args);
    // Gathers output until done() holds or timeoutMs pass; true when it held.
    bool WaitFor(const std::function<bool()>& done, int timeoutMs);
    // The exit code, or nothing when the child did not exit normally in time.
    std::optional<int> Finish(int timeoutMs);

    std::string out;
    std::string err;
};

struct CliResult {
    std::optional<int> code;  // nothing: did not exit normally in time
    std::string out;
    std::string err;
};
std::ostream& operator<<(std::ostream& os, const CliResult& r);

class CCliTest : public ::testing::Test {
protected:
    CCliTest();

    // Starts corvane-cli in the scratch homes; asUser runs in the child
    // before the program starts.
    void StartCli(CChild& cli, const std::vector<std::string>& args,
                  const std::function<void()>& asUser = {}) const;
    CliResult RunCli(const std::vector<std::string>& args, int timeoutMs = 30000,
                     const std::function<void()>& asUser = {}) const;
    // Starts corvane-sim logging into the scratch folder; its device.
    std::string StartSim(const std::string& args);
    QJsonObject StopSim();
    // The lines of the service record journal.
    std::vector<std::string> RecordLines() const;
    std::string RecordsPath() const { return m_state + "/corvane/records.jsonl"; }

    testkit::CScratchDir m_scratch;
    std::string m_config = m_scratch.Path() + "/config";
    std::string m_state = m_scratch.Path() + "/state";
    std::string m_work = m_scratch.Path() + "/work";
    CChild m_sim;
};

}  // namespace clitest
