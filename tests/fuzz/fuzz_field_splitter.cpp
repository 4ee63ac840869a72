// The field splitter on any text: the first byte holds the flags, the bytes
// up to the next NUL (at most four) the delimiters, the rest the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "support/FieldSplitter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string delimiters = rest.substr(0, std::min<std::size_t>(rest.find('\0'), 4));
    const std::size_t textStart = std::min(rest.size(), delimiters.size() + 1);
    const std::string text = rest.substr(textStart);  // c_str() ends it at its first NUL

    char** fields = SplitFields(text.c_str(), delimiters.c_str(), data[0]);
    fuzz::Require(fields != nullptr, "splitting fails only without memory");
    const int count = CountFields(fields);
    fuzz::Require(count >= 1, "every text gives at least one field");
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) {
        total += std::strlen(fields[i]);
    }
    fuzz::Require(total <= std::strlen(text.c_str()), "fields hold no more than the text");
    fuzz::Require(FreeFields(fields) == 0, "freeing gives 0");
    return 0;
}
