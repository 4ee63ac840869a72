#include "SimTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/Crc16.h"

namespace simtest {

std::string Frame(std::uint8_t number, const std::vector<std::uint8_t>& data, std::size_t offset) {
    std::uint8_t block[128];
    for (std::size_t i = 0; i < 128; ++i) {
        block[i] = offset + i < data.size() ? data[offset + i] : 0x1A;
    }
    const std::uint16_t crc = Crc16Xmodem(block, 128);
    std::string frame;
    frame += kSoh;
    frame += static_cast<char>(number);
    frame += static_cast<char>(255 - number);
    frame.append(reinterpret_cast<const char*>(block), 128);
    frame += static_cast<char>(crc >> 8);
    frame += static_cast<char>(crc & 0xFF);
    return frame;
}

std::vector<std::uint8_t> MakeImage(const std::vector<std::uint8_t>& code) {
    const std::uint16_t crc = Crc16Plain(code.data(), 0, code.size());
    std::vector<std::uint8_t> image(128 + code.size(), 0);
    image[0] = static_cast<std::uint8_t>(code.size() >> 8);
    image[1] = static_cast<std::uint8_t>(code.size() & 0xFF);
    image[2] = static_cast<std::uint8_t>(crc >> 8);
    image[3] = static_cast<std::uint8_t>(crc & 0xFF);
    std::copy(code.begin(), code.end(), image.begin() + 128);
    return image;
}

std::vector<std::uint8_t> CodeWithVersion(const std::string& version, std::size_t size) {
    std::vector<std::uint8_t> code(size);
    for (std::size_t i = 0; i < size; ++i) {
        code[i] = static_cast<std::uint8_t>((i * 7 + 3) % 251);
    }
    const std::string tag = "VER:" + version;
    const std::size_t at = size / 3;
    std::copy(tag.begin(), tag.end(), code.begin() + static_cast<std::ptrdiff_t>(at));
    code[at + tag.size()] = 0;
    return code;
}

std::vector<std::uint8_t> CarriedImage() {
    const char* root = std::getenv("CORVANE_SOURCE_DIR");
    const std::string path = std::string(root != nullptr ? root : SIM_TEST_SOURCE_DIR) +
                             "/resources/upgrade-" CORVANE_VERSION_LABEL ".bin";
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

sim::SimOptions FastOptions() {
    sim::SimOptions options;
    options.paceOutput = false;
    return options;
}

CEngineRig::CEngineRig(sim::SimOptions options) : engine(std::move(options)) {
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
        ++nowMs;
        engine.OnTime(nowMs);
        const std::string due = engine.TakeOutput(nowMs * 1000);
        sentAt.insert(sentAt.end(), due.size(), nowMs);
        out += due;
    }
    return out;
}

std::string CEngineRig::RunUntilAny(const std::string& bytes, int limitMs) {
    std::string out;
    for (int i = 0; i < limitMs; ++i) {
        const std::string step = Run(1);
        out += step;
        if (step.find_first_of(bytes) != std::string::npos) {
            break;
        }
    }
    return out;
}

std::string CEngineRig::Upload(const std::vector<std::uint8_t>& image) {
    const std::string handshake{kAck, kNak, kCan};
    std::string replies;
    const std::size_t blocks = (image.size() + 127) / 128;
    std::size_t sends = 0;
    for (std::size_t n = 1; n <= blocks && ++sends <= blocks + 50;) {
        Send(Frame(static_cast<std::uint8_t>(n), image, (n - 1) * 128));
        const std::string out = RunUntilAny(handshake, 5000);
        const auto at = out.find_first_of(handshake);
        if (at == std::string::npos) {
            return replies;
        }
        replies += out[at];
        if (out[at] == kCan) {
            return replies;
        }
        n += out[at] == kAck ? 1 : 0;
    }
    if (sends > blocks + 50) {
        return replies;
    }
    Send(std::string(1, kEot));
    const std::string out = RunUntilAny(handshake, 5000);
    const auto at = out.find_first_of(handshake);
    if (at != std::string::npos) {
        replies += out[at];
    }
    return replies;
}

}  // namespace simtest
