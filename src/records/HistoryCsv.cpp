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
bool IsNumber(std::string_view text) {
    double value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    return !text.empty() && error == std::errc() && end == last;
}

// A spreadsheet skips a leading tab or CR and reads the formula after it.
bool StartsFormula(std::string_view text) {
    const char first = text.empty() ? '\0' : text[0];
    return first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' ||
           first == '\r';
}

// Nearly every field: printable ASCII without a separator, quote or
// formula start, which goes into its cell as it is.
bool IsPlain(std::string_view text) {
    return IsPrintableAscii(text, ",\"") && !StartsFormula(text);
}

void AppendField(std::string& out, std::string_view text) {
    if (IsPlain(text)) {
        out.append(text);
        return;
    }
    const std::size_t start = out.size();
    AppendCellText(out, text);
    const std::string_view value(out.data() + start, out.size() - start);
    if (StartsFormula(value) && !IsNumber(value)) {
        out.insert(start, 1, '\'');
    }
    if (out.find_first_of(",\"\r\n", start) == std::string::npos) {
        return;
    }
    const std::string cell = out.substr(start);
    out.resize(start);
    out += '"';
    for (const char c : cell) {
        out.append(c == '"' ? 2 : 1, c);
    }
    out += '"';
}

}  // namespace

std::string CsvHeader() {
    return "time,host,tool,port,device,byId,deviceId,bootCode,before,after,imageLabel,imageSize,"
           "imageCrc,imagePath,blocks,resends,seconds,outcome,reason,simulated,slot\r\n";
}

void AppendCsvRow(const ServiceRecord& r, std::string& out) {
    char numbers[3][24];
    const auto number = [&numbers](int i, long long value) {
        const auto [end, ec] = std::to_chars(numbers[i], numbers[i] + sizeof numbers[i], value);
        return std::string_view(numbers[i], static_cast<std::size_t>(end - numbers[i]));
    };
    const std::string seconds = Fixed1(r.seconds);
    const std::string_view fields[] = {r.time,
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
                                       number(0, r.image.size),
                                       r.image.crc,
                                       r.image.path,
                                       number(1, r.blocks),
                                       number(2, r.resends),
                                       seconds,
                                       OutcomeText(r),
                                       r.reason,
                                       r.simulated ? "yes" : "no",
                                       r.slot};
    for (const std::string_view field : fields) {
        AppendField(out, field);
        out += ',';
    }
    out.back() = '\r';
    out += '\n';
}

std::string CsvRow(const ServiceRecord& record) {
    std::string row;
    AppendCsvRow(record, row);
    return row;
}

}  // namespace records
