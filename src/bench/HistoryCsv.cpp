#include "bench/HistoryCsv.h"

#include <cctype>
#include <cstdlib>

#include "bench/JsonLine.h"

namespace bench {
namespace {

bool IsNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

std::string Field(const std::string& text) {
    std::string value = text;
    if (!value.empty() &&
        (value[0] == '=' || value[0] == '+' || value[0] == '-' || value[0] == '@') &&
        !IsNumber(value)) {
        value.insert(0, 1, '\'');
    }
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        return value;
    }
    std::string quoted = "\"";
    for (const char c : value) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

}  // namespace

std::string CsvHeader() {
    return "time,host,tool,port,device,byId,deviceId,bootCode,before,after,imageLabel,imageSize,"
           "imageCrc,imagePath,blocks,resends,seconds,outcome,reason,simulated\r\n";
}

std::string CsvRow(const HistoryRecord& r) {
    const std::string fields[] = {r.timeText,
                                  r.host,
                                  r.tool,
                                  r.port,
                                  r.device,
                                  r.byId,
                                  r.deviceId,
                                  r.bootCode,
                                  r.before,
                                  r.after,
                                  r.imageLabel,
                                  std::to_string(r.imageSize),
                                  r.imageCrc,
                                  r.imagePath,
                                  std::to_string(r.blocks),
                                  std::to_string(r.resends),
                                  Fixed1(r.seconds),
                                  r.outcome,
                                  r.reason,
                                  r.simulated ? "yes" : "no"};
    std::string row;
    for (const std::string& field : fields) {
        row += Field(field) + ",";
    }
    row.pop_back();
    return row + "\r\n";
}

}  // namespace bench
