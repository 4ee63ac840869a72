#include "SimTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "protocol/UpgradeImage.h"
#include "support/Crc16.h"

extern char** environ;

namespace simtest {

std::string Frame(std::size_t number, const std::vector<std::uint8_t>& data) {
    std::uint8_t block[128];
    for (std::size_t i = 0, at = (number - 1) * 128; i < 128; ++i) {
        block[i] = at + i < data.size() ? data[at + i] : 0x1A;
    }
    const std::uint16_t crc = Crc16Xmodem(block, 128);
    const auto line = static_cast<char>(number & 0xFF);
    std::string frame{1, line, static_cast<char>(0xFF - (number & 0xFF))};
    frame.append(reinterpret_cast<const char*>(block), 128);
    return frame + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
}

std::vector<std::uint8_t> TestImage(const std::string& version, std::size_t codeSize) {
    std::vector<std::uint8_t> code(codeSize);
    for (std::size_t i = 0; i < codeSize; ++i) {
        code[i] = static_cast<std::uint8_t>((i * 7 + 3) % 251);
    }
    const std::string tag = "VER:" + version;
    std::copy_n(tag.c_str(), tag.size() + 1, code.begin() + static_cast<long>(codeSize / 3));
    return ImageFile::Build(code);
}

std::vector<std::uint8_t> CarriedImage() {
    return {UpgradeImage().begin(), UpgradeImage().end()};
}

CEngineRig::CEngineRig(sim::SimOptions options, bool paced)
    : engine([&] {
          options.paceOutput = paced;
          return options;
      }()) {
    engine.Begin(0);
}

void CEngineRig::Send(const std::string& bytes) {
    for (const char c : bytes) {
        engine.OnByte(static_cast<std::uint8_t>(c), nowMs);
    }
}

std::string CEngineRig::Run(int ms) {
    std::string out;
    for (int i = 0; i < ms; ++i) {
        engine.OnTime(++nowMs);
        const std::string due = engine.TakeOutput(nowMs * 1000);
        sentAt.insert(sentAt.end(), due.size(), nowMs);
        out += due;
    }
    return out;
}

std::string CEngineRig::HandOver() {
    Send("/0842\r");
    return Run(30);
}

std::string CEngineRig::NextReply() {
    for (int ms = 0; ms < 5000; ++ms) {
        const std::string out = Run(1);
        const auto at = out.find_first_of(std::string{kAck, kNak, kCan});
        if (at != std::string::npos) {
            return out.substr(at, 1);
        }
    }
    return {};
}

std::string CEngineRig::Upload(const std::vector<std::uint8_t>& image) {
    std::string replies;
    const std::size_t blocks = (image.size() + 127) / 128;
    for (std::size_t n = 1; n <= blocks;) {
        Send(Frame(n, image));
        const std::string reply = NextReply();
        replies += reply;
        if (reply.empty() || reply[0] == kCan || replies.size() > blocks + 50) {
            return replies;
        }
        n += reply[0] == kAck ? 1 : 0;
    }
    Send(std::string(1, kEot));
    return replies + NextReply();
}

CSerialClient::CSerialClient(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    termios mode{};
    ::tcgetattr(m_fd, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(m_fd, TCSANOW, &mode);
    ::tcflush(m_fd, TCIOFLUSH);
}

CSerialClient::~CSerialClient() {
    ::close(m_fd);
}

bool CSerialClient::Send(const std::string& bytes) {
    return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string CSerialClient::ReadUntil(const std::string& until, int timeoutMs) {
    std::string text;
    pollfd item{m_fd, POLLIN, 0};
    while (text.find(until) == std::string::npos && ::poll(&item, 1, timeoutMs) > 0) {
        char buffer[256];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0) {
            hungUp = true;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

CChild::CChild(const std::vector<std::string>& argv, int lineFd) {
    int pipeFds[2] = {-1, -1};
    if (lineFd < 0 && ::pipe2(pipeFds, O_CLOEXEC) == 0) {
        m_out = pipeFds[0];
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (lineFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, lineFd, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, lineFd >= 0 ? lineFd : pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    if (::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0) {
        ::close(pipeFds[1]);  // the child holds the only write end now
    }
}

CChild::~CChild() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) {
        ::close(m_out);
    }
}

bool CChild::Signal(int signal) const {
    return m_pid > 0 && ::kill(m_pid, signal) == 0;
}

std::optional<std::string> CChild::ReadLine(int timeoutMs) {
    pollfd item{m_out, POLLIN, 0};
    std::size_t end;
    while ((end = m_pending.find('\n')) == std::string::npos) {
        char buffer[256];
        const ssize_t n = ::poll(&item, 1, timeoutMs) > 0 ? ::read(m_out, buffer, 256) : 0;
        if (n <= 0) {
            return std::nullopt;
        }
        m_pending.append(buffer, static_cast<std::size_t>(n));
    }
    std::string line = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    return line;
}

std::optional<int> CChild::WaitExit(int timeoutMs) {
    for (int waited = 0; m_pid > 0 && waited <= timeoutMs; waited += 10) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

}  // namespace simtest
