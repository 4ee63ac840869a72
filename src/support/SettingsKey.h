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
//   means defaults and nothing remembered; nothing is ever shown to the user.
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

    bool IsOpen() const { return !m_filePath.empty(); }
    const std::string& FilePath() const { return m_filePath; }

private:
    std::string m_filePath;  // empty: no key
};

// The user's home folder, where the file tools start when nothing is stored.
std::string DefaultFileDirectory();
