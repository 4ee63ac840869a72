#include "support/WrapHelpText.h"

#include <sstream>

std::string WrapHelpText(const std::string& text, std::size_t width) {
    std::string wrapped;
    std::size_t lineLength = 0;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            wrapped += '\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            wrapped += ' ';
            ++lineLength;
        }
        wrapped += word;
        lineLength += word.size();
    }
    return wrapped;
}
