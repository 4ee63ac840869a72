#include "records/HistoryCsv.h"

#include <cctype>
#include <charconv>
#include <string_view>
#include <system_error>

#include "records/JsonLine.h"
#include "records/SafeText.h"

namespace records {
namespace {

// A plain number in the C locale, whatever the desktop's (the window exports
// too): "-1.5" is a number, "-1,5" and "=1" are not.
bool IsNumber(const std::string& text) {
    double value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    return !text.empty() && error == std::errc() && end == last;
}

std::string Field(const std::string& text) {
    std::string value = CellText(text);
    // A spreadsheet skips a leading tab or CR and reads the formula after it.
    if (!value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos &&
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

std::string CsvRow(const ServiceRecord& r) {
    const std::string fields[] = {r.time,
                                  r.host,
                                  r.tool,
                                  r.port,
                                  r.device,
                                  r.byId,
                                  r.deviceId,
                                  r.bootCode,
                                  r.before,
                                  r.after,
                                  r.image.label,
                                  std::to_string(r.image.size),
                                  r.image.crc,
                                  r.image.path,
                                  std::to_string(r.blocks),
                                  std::to_string(r.resends),
                                  Fixed1(r.seconds),
                                  std::string(OutcomeText(r)),
                                  r.reason,
                                  r.simulated ? "yes" : "no"};
    std::string row;
    for (const std::string& field : fields) {
        row += Field(field) + ",";
    }
    row.pop_back();
    return row + "\r\n";
}

}  // namespace records
