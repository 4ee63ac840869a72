#include "records/DeviceNames.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace records {

std::string ResolvedDevice(const std::string& path) {
    std::error_code ec;
    const auto resolved = std::filesystem::canonical(path, ec);
    return ec ? path : resolved.string();
}

unsigned long long DeviceNumberOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return 0;
    }
    return info.st_rdev;
}

std::string ByIdNameOf(const std::string& device, const std::string& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (ResolvedDevice(it->path().string()) == device) {
            return it->path().filename().string();
        }
    }
    return {};
}

}  // namespace records
