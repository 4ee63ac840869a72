// File-folder setting: the "CRCFileDir" value the two file tools share.
//
// Principles of operation
//   Each file operation makes its own CFileDirSetting: Read opens the key and
//   reads "CRCFileDir" (default: the user's home folder) once, before any
//   dialog runs; RememberFolderOf stores the folder of the file the user
//   confirmed, so that the next file dialog starts where the last file was.
//
// Threads: one operation on the user-interface or command-line thread.
#pragma once

#include <string>

#include "support/SettingsKey.h"

class CFileDirSetting {
public:
    static constexpr const char* kValueName = "CRCFileDir";

    // Opens the key and reads the folder; returns it.
    const std::string& Read();
    const std::string& Directory() const { return m_directory; }
    // Writes the folder of the chosen file (the folder read before when the
    // name has none); the result is not examined by callers.
    int RememberFolderOf(const std::string& chosenFile);

private:
    CSettingsKey m_key;
    std::string m_directory;
};
