// Journal lines as the bench writes them, for the tests of reading them back.
#pragma once

#include <string>

namespace recordtest {

// One bench record with the given time, device ID and outcome; `more` is
// appended inside the object (",\"reason\":\"...\"").
inline std::string Journal(const std::string& time, const std::string& deviceId,
                           const std::string& outcome, const std::string& more = "") {
    return "{\"time\":\"" + time +
           "\",\"host\":\"pc1\",\"tool\":\"bench\",\"port\":\"/dev/ttyUSB0\"," +
           "\"device\":\"/dev/ttyUSB0\",\"byId\":\"usb-FTDI_A1-if00-port0\",\"deviceId\":\"" +
           deviceId + "\",\"outcome\":\"" + outcome + "\"" + more + "}";
}

}  // namespace recordtest
