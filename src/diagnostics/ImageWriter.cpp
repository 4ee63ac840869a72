#include "diagnostics/ImageWriter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/LastError.h"
#include "protocol/UpgradeImage.h"

namespace {

// A replaced link keeps pointing where it did: the file it names is replaced.
std::string ResolveTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a hidden file of its own in the target's folder; -1 with errno set.
int CreateBeside(const std::string& target, std::string& tempPath) {
    std::random_device seed;
    std::mt19937 random(seed());
    const std::string stem = FolderOf(target) + "/." + NameOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        tempPath = stem + suffix;
        // 0666 lets the umask decide, as for any new file.
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// A replaced file keeps its permissions; failing to copy them is not worth a failed export.
void KeepPermissions(int fd, const std::string& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        (void)::fchmod(fd, info.st_mode & 07777);
    }
}

// Makes the rename itself survive a power cut; best effort.
void SyncFolder(const std::string& target) {
    const int fd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

bool Fail(int fd, const std::string& tempPath) {
    platform::SetLastErrorFromErrno();
    if (fd >= 0) {
        ::close(fd);
    }
    if (!tempPath.empty()) {
        ::unlink(tempPath.c_str());
    }
    return false;
}

// Whether path exists and is neither a regular file nor a folder, links
// followed: a device, FIFO or socket, which is written where it is.
bool IsSpecialFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

// Writes with SIGPIPE held back, so that a reader going away is EPIPE for
// this write and not the end of the process; a SIGPIPE it raised is taken
// back before the mask is restored.
bool WriteWithoutSigpipe(int fd, const std::uint8_t* data, std::size_t length) {
    sigset_t pipe{}, old{};
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    const bool written = WriteAll(fd, data, length);
    const int error = errno;
    if (!written && error == EPIPE) {
        const timespec none{};
        (void)sigtimedwait(&pipe, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = error;
    return written;
}

// A fresh file beside the target, renamed over it once complete.
bool Replace(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string target = ResolveTarget(path);
    std::string tempPath;
    const int fd = CreateBeside(target, tempPath);
    if (fd < 0) {
        return Fail(-1, {});
    }
    KeepPermissions(fd, target);
    if (!WriteAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) {
        return Fail(fd, tempPath);
    }
    if (::close(fd) != 0) {
        return Fail(-1, tempPath);
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        return Fail(-1, tempPath);
    }
    SyncFolder(target);
    return true;
}

// Opens without waiting (a FIFO with no reader fails with ENXIO instead of
// blocking), then writes with blocking calls so that a slow reader is waited
// for rather than failed.
bool WriteInPlace(const std::string& path, std::span<const std::uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return Fail(-1, {});
    }
    // Replaced by a regular file since it was looked at: that one is replaced.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        ::close(fd);
        return Replace(path, bytes);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        !WriteWithoutSigpipe(fd, bytes.data(), bytes.size())) {
        return Fail(fd, {});
    }
    if (::close(fd) != 0) {
        return Fail(-1, {});
    }
    return true;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (path.empty()) {
        errno = ENOENT;
        return Fail(-1, {});
    }
    return IsSpecialFile(path) ? WriteInPlace(path, bytes) : Replace(path, bytes);
}

bool ExportImageTo(const std::string& path) {
    return WriteFileReplacing(path, UpgradeImage());
}

std::string DefaultImageFileName() {
    return std::string(UpgradeVersion()) + ".bin";
}
