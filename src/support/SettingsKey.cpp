#include "support/SettingsKey.h"

#include <QDir>
#include <QSettings>

#include <cstdlib>
#include <cstring>

namespace {

enum : int { kStatusOk = 0, kStatusNoKey = 1, kStatusWriteFailed = 2 };

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    return DefaultFileDirectory() + "/.config";
}

}  // namespace

std::string DefaultFileDirectory() {
    const char* home = std::getenv("HOME");
    return (home != nullptr && home[0] != '\0') ? home : QDir::homePath().toStdString();
}

int CSettingsKey::OpenKey(const char* makerName, const char* applicationName) {
    m_filePath.clear();
    const std::string folder = ConfigHome() + "/" + makerName;
    if (!QDir().mkpath(QString::fromStdString(folder))) {
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

int CSettingsKey::WriteValue(const char* valueName, const std::string& text) {
    if (m_filePath.empty()) {
        return kStatusNoKey;
    }
    QSettings file(QString::fromStdString(m_filePath), QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        return kStatusWriteFailed;  // never overwrite a file we could not read
    }
    file.setValue(QString::fromUtf8(valueName), QString::fromStdString(text));
    file.sync();
    return file.status() == QSettings::NoError ? kStatusOk : kStatusWriteFailed;
}
