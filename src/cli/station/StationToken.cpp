#include "cli/station/StationToken.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/SessionLog.h"

namespace station {
namespace {

constexpr std::size_t kTokenBytes = 32;
constexpr std::size_t kTokenDigits = 2 * kTokenBytes;

std::string Failure(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Every folder on the way, made private to the user where it is new.
bool MakeFolders(const std::string& file, std::string& error) {
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            error = Failure("cannot make", folder);
            return false;
        }
    }
    return true;
}

bool IsToken(const std::string& text) {
    if (text.size() != kTokenDigits) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

bool MakeToken(const std::string& path, std::string& token, std::string& error) {
    unsigned char random[kTokenBytes];
    std::size_t got = 0;
    while (got < sizeof random) {
        const ssize_t n = ::getrandom(random + got, sizeof random - got, 0);
        if (n < 0 && errno != EINTR) {
            error = Failure("no random bytes for", path);
            return false;
        }
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    static const char kDigits[] = "0123456789abcdef";
    token.clear();
    for (const unsigned char byte : random) {
        token += kDigits[byte >> 4];
        token += kDigits[byte & 15];
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = Failure("cannot make", path);
        return false;
    }
    const std::string line = token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = Failure("cannot write", path);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool ReadToken(const std::string& path, std::string& token, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Failure("cannot read", path);
        return false;
    }
    struct stat info {};
    char text[kTokenDigits + 2] = {};
    const bool statted = ::fstat(fd, &info) == 0;
    const ssize_t n = statted && S_ISREG(info.st_mode) ? ::read(fd, text, sizeof text) : -1;
    ::close(fd);
    if (!statted || !S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        error = path + " may be read by others: make it private (chmod 600) or remove it";
        return false;
    }
    token.assign(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!token.empty() && token.back() == '\n') {
        token.pop_back();
    }
    if (!IsToken(token)) {
        error = path + " holds no token: remove it, and a new one is made";
        return false;
    }
    return true;
}

}  // namespace

std::string TokenPath() {
    const char* service = std::getenv("STATE_DIRECTORY");
    if (service != nullptr && service[0] == '/') {
        const std::string first(service, std::strcspn(service, ":"));
        return first + "/station.token";
    }
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if ((state == nullptr || state[0] != '/') && (home == nullptr || home[0] != '/')) {
        return "/var/lib/corvane/station.token";
    }
    return StateFilePath("station.token");
}

bool LoadOrMakeToken(const std::string& path, std::string& token, std::string& error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        return ReadToken(path, token, error);
    }
    if (!MakeFolders(path, error)) {
        return false;
    }
    if (MakeToken(path, token, error)) {
        return true;
    }
    // Another station made it first: take that one.
    return errno == EEXIST && ReadToken(path, token, error);
}

bool SameSecret(const std::string& given, const std::string& expected) {
    unsigned char differ = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const char g = i < given.size() ? given[i] : '\0';
        differ |= static_cast<unsigned char>(g ^ expected[i]);
    }
    return differ == 0 && !expected.empty();
}

bool Bearer(const std::string& authorization, const std::string& token) {
    static const char kScheme[] = "bearer ";
    const std::size_t length = sizeof kScheme - 1;
    if (authorization.size() < length ||
        ::strncasecmp(authorization.c_str(), kScheme, length) != 0) {
        return false;
    }
    return SameSecret(authorization.substr(length), token);
}

}  // namespace station
