// Station assets: the page, its script and its style, compiled into the
// program from resources/station/, so a station serves nothing from the
// disk and needs no file beside it.
//
// Threads: constant data; any thread.
#pragma once

#include <string>
#include <string_view>

namespace station {

struct Asset {
    const char* contentType;
    std::string_view body;
};

// The asset served at path ("/", "/station.js", "/station.css"); null when
// there is none.
const Asset* FindAsset(const std::string& path);

}  // namespace station
