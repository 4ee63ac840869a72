#include "diagnostics/FileDirSetting.h"

const std::string& CFileDirSetting::Read() {
    m_key.OpenKey("Veltra", "Corvane");
    m_directory = m_key.ReadValue(kValueName, DefaultFileDirectory().c_str());
    return m_directory;
}

int CFileDirSetting::WriteBack() {
    return m_key.WriteValue(kValueName, m_directory);
}
