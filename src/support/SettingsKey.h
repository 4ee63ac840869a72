// Settings key: the two remembered settings ("Port", "CRCFileDir") and the
// port-name mappings, kept as string values in one INI file per user.
//
// Principles of operation
//   OpenKey(maker, application) names the file
//   $XDG_CONFIG_HOME/<maker>/<application>.ini (~/.config when the variable
//   is unset) and creates its folder. ReadValue returns the stored text or the
//   caller's default; WriteValue stores a text and writes the file at once, so
//   that two keys on the same file (the window's and a file tool's) see each
//   other's values. A file that is missing, corrupt, unreadable or unwritable
//   means defaults and nothing remembered; the window shows nothing of it,
//   but a failed open or write leaves FailureText() saying why, with the
//   system's reason, for the command line that stores port mappings.
//   A value longer than 1023 bytes reads as the default, like the registry
//   buffer of 1024 bytes with its terminating NUL.
//
// Threads: one key belongs to one thread (the user-interface thread, or the
// command line's main thread).
#pragma once

#include <string>

class CSettingsKey {
public:
    static constexpr std::size_t kValueLimit = 1024;

    CSettingsKey() = default;
    virtual ~CSettingsKey() = default;

    // 0 when the folder of the settings file exists or was created.
    int OpenKey(const char* makerName, const char* applicationName);
    // The stored text, or the default (empty when null) when there is none.
    std::string ReadValue(const char* valueName, const char* defaultText) const;
    // 0 when the value was stored and the file written.
    int WriteValue(const char* valueName, const std::string& text);
    // 0 when the value is gone (or was never there) and the file written.
    int RemoveValue(const char* valueName);
    // After a failed OpenKey, WriteValue or RemoveValue: the path and why,
    // e.g. "/home/tech/.config/Veltra: Not a directory".
    const std::string& FailureText() const { return m_failure; }

    bool IsOpen() const { return !m_filePath.empty(); }
    const std::string& FilePath() const { return m_filePath; }

private:
    template <typename Change>
    int Store(const Change& change);

    std::string m_filePath;  // empty: no key
    std::string m_failure;
};

// The user's home folder, where the file tools start when nothing is stored.
std::string DefaultFileDirectory();
