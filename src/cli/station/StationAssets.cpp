#include "cli/station/StationAssets.h"

#include <cstddef>

// Generated from resources/station/ at build time (cmake/EmbedBinary.cmake).
extern const unsigned char station_index_html[];
extern const std::size_t station_index_html_size;
extern const unsigned char station_js[];
extern const std::size_t station_js_size;
extern const unsigned char station_css[];
extern const std::size_t station_css_size;

namespace station {
namespace {

std::string_view View(const unsigned char* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

}  // namespace

const Asset* FindAsset(const std::string& path) {
    static const Asset kPage{"text/html; charset=utf-8",
                             View(station_index_html, station_index_html_size)};
    static const Asset kScript{"text/javascript; charset=utf-8", View(station_js, station_js_size)};
    static const Asset kStyle{"text/css; charset=utf-8", View(station_css, station_css_size)};
    if (path == "/" || path == "/index.html") {
        return &kPage;
    }
    if (path == "/station.js") {
        return &kScript;
    }
    if (path == "/station.css") {
        return &kStyle;
    }
    return nullptr;
}

}  // namespace station
