#include "bench/DeviceNames.h"

#include <filesystem>
#include <system_error>

namespace bench {

std::string ResolvedDevice(const std::string& path) {
    std::error_code ec;
    const auto resolved = std::filesystem::canonical(path, ec);
    return ec ? path : resolved.string();
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

}  // namespace bench
