#include "support/SettingsKey.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QSettings>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

enum : int { kStatusOk = 0, kStatusNoKey = 1, kStatusWriteFailed = 2 };

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    return DefaultFileDirectory() + "/.config";
}

std::string ErrnoText(int code) {
    return std::generic_category().message(code);
}

// Why the settings file cannot be written, in the system's words: the file's
// own problem when it exists, else its folder's; empty when neither shows one.
std::string WriteProblem(const std::string& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return ErrnoText(EISDIR);
        }
        const int fd =
            ::open(file.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            return ErrnoText(errno);
        }
        ::close(fd);
    }
    const std::string folder = std::filesystem::path(file).parent_path().string();
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return ErrnoText(errno);
    }
    return {};
}

std::string StatusText(QSettings::Status status) {
    return status == QSettings::FormatError ? "the file is not in the settings format"
                                            : "the settings library could not write it";
}

}  // namespace

std::string DefaultFileDirectory() {
    const char* home = std::getenv("HOME");
    return (home != nullptr && home[0] != '\0') ? home : QDir::homePath().toStdString();
}

int CSettingsKey::OpenKey(const char* makerName, const char* applicationName) {
    m_filePath.clear();
    m_failure.clear();
    const std::string folder = ConfigHome() + "/" + makerName;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error)) {
        m_failure = folder + ": " + (error ? error.message() : ErrnoText(ENOTDIR));
        return kStatusNoKey;
    }
    m_filePath = folder + "/" + applicationName + ".ini";
    return kStatusOk;
}

std::string CSettingsKey::ReadValue(const char* valueName, const char* defaultText) const {
    const std::string fallback = defaultText != nullptr ? defaultText : "";
    if (m_filePath.empty()) {
        return fallback;
    }
    QSettings file(QString::fromStdString(m_filePath), QSettings::IniFormat);
    const QVariant value = file.value(QString::fromUtf8(valueName));
    if (file.status() != QSettings::NoError || !value.isValid()) {
        return fallback;
    }
    const QByteArray bytes = value.toString().toUtf8();
    // The stored text ends at its first NUL, as a string value does.
    const std::size_t length = ::strnlen(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (length + 1 > kValueLimit) {
        return fallback;
    }
    return std::string(bytes.constData(), length);
}

// Applies one change to the file and writes it; a failure leaves its reason.
template <typename Change>
int CSettingsKey::Store(const Change& change) {
    if (m_filePath.empty()) {
        return kStatusNoKey;  // m_failure says why OpenKey failed
    }
    m_failure.clear();
    // Refused before the change is made: the settings library keeps a change it
    // could not write in its per-process cache of the file, and every later
    // read of the file in this process would then fail too.
    if (const std::string reason = WriteProblem(m_filePath); !reason.empty()) {
        m_failure = m_filePath + ": " + reason;
        return kStatusWriteFailed;
    }
    QSettings file(QString::fromStdString(m_filePath), QSettings::IniFormat);
    // Never overwrite a file we could not read.
    if (file.status() == QSettings::NoError) {
        change(file);
        file.sync();
    }
    if (file.status() == QSettings::NoError) {
        return kStatusOk;
    }
    const std::string reason = WriteProblem(m_filePath);
    m_failure = m_filePath + ": " + (reason.empty() ? StatusText(file.status()) : reason);
    return kStatusWriteFailed;
}

int CSettingsKey::WriteValue(const char* valueName, const std::string& text) {
    return Store([&](QSettings& file) {
        file.setValue(QString::fromUtf8(valueName), QString::fromStdString(text));
    });
}

int CSettingsKey::RemoveValue(const char* valueName) {
    return Store([&](QSettings& file) { file.remove(QString::fromUtf8(valueName)); });
}
