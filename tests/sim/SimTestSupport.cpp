#include "SimTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "protocol/UpgradeImage.h"
#include "sim/SimArguments.h"
#include "support/Crc16.h"

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

std::vector<std::string> Words(const std::string& line) {
    std::istringstream words(line);
    return {std::istream_iterator<std::string>(words), {}};
}

sim::SimOptions Options(const std::string& line) {
    sim::SimArguments parsed;
    std::string error;
    EXPECT_TRUE(sim::ParseSimArguments(Words(line), parsed, error)) << error;
    return parsed.options;
}

CEngineRig::CEngineRig(const std::string& options, bool paced)
    : engine(Options((paced ? "" : "--no-pacing ") + options)) {
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
            return out[at] == kAck ? "A" : out[at] == kNak ? "N" : "C";
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
        if (reply.empty() || reply == "C" || replies.size() > blocks + 50) {
            return replies;
        }
        n += reply == "A" ? 1 : 0;
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

CCommand::CCommand(const std::string& line) : m_pipe(::popen(line.c_str(), "r")) {}

std::string CCommand::ReadLine() {
    char line[512];
    if (m_pipe == nullptr || std::fgets(line, sizeof line, m_pipe) == nullptr) {
        return {};
    }
    return {line, std::strcspn(line, "\n")};
}

int CCommand::Close() {
    const int status = m_pipe != nullptr ? ::pclose(m_pipe) : -1;
    m_pipe = nullptr;
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace simtest
