#include "app/StringTable.h"

#include <iterator>

namespace {

struct StringEntry {
    int id;
    const char* text;
};

// The Sockets start-up has no counterpart here; its text stays in the table
// so that the numbers keep their meaning.
constexpr StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "&About Mirelda..."},
    {IDS_SOCKETS_INIT_FAILED, "Windows sockets initialization failed."},
    {IDS_MONITOR_CHARGER, "M&onitor Charger"},
    {IDS_CRC_CHECK, "C&RC Check"},
    {IDS_WRITE_IMAGE, "&Write Image"},
    {IDS_UPGRADE_FROM_FILE, "Upgrade from &File..."},
    {IDS_USE_CARRIED_IMAGE, "Use &Carried Image"},
    {IDS_CHARGER_TRENDS, "Charger &Trends..."},
};

}  // namespace

QString LoadString(int id) {
    for (const StringEntry& entry : kStrings) {
        if (entry.id == id) {
            return QString::fromLatin1(entry.text);
        }
    }
    return {};
}
