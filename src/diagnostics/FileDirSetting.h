// File-folder setting: the "CRCFileDir" value the two file tools share.
//
// Principles of operation
//   Each file operation makes its own CFileDirSetting: Read opens the key and
//   reads "CRCFileDir" (default: the user's home folder) once, before any
//   dialog runs; WriteBack stores exactly that text again. The folder in which
//   the user picked a file is never stored.
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
    // Writes the text read before; the result is not examined by callers.
    int WriteBack();

private:
    CSettingsKey m_key;
    std::string m_directory;
};
