#include "sim/DeviceLink.h"

#include <filesystem>
#include <system_error>

namespace sim {

namespace fs = std::filesystem;

CDeviceLink::~CDeviceLink() {
    Remove();
}

bool CDeviceLink::Create(const std::string& linkPath, const std::string& target,
                         std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(linkPath, ec);
    if (fs::is_symlink(status)) {
        fs::remove(linkPath, ec);
    } else if (fs::exists(status)) {
        error = linkPath + " exists and is not a symbolic link";
        return false;
    }
    fs::create_symlink(target, linkPath, ec);
    if (ec) {
        error = linkPath + ": " + ec.message();
        return false;
    }
    m_path = linkPath;
    m_target = target;
    return true;
}

void CDeviceLink::Remove() {
    if (m_path.empty()) {
        return;
    }
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(m_path, ec)) &&
        fs::read_symlink(m_path, ec) == m_target) {
        fs::remove(m_path, ec);
    }
    m_path.clear();
}

}  // namespace sim
