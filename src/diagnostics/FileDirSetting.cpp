#include "diagnostics/FileDirSetting.h"

#include <filesystem>

const std::string& CFileDirSetting::Read() {
    m_key.OpenKey("Veltra", "Corvane");
    m_directory = m_key.ReadValue(kValueName, DefaultFileDirectory().c_str());
    return m_directory;
}

int CFileDirSetting::RememberFolderOf(const std::string& chosenFile) {
    const std::string folder = std::filesystem::path(chosenFile).parent_path().string();
    return m_key.WriteValue(kValueName, folder.empty() ? m_directory : folder);
}
