// String table: the shell's texts, looked up by number.
//
// Principles of operation
//   The menu items of the window and the start-up failure text live in one
//   table, each under its number. A number that is not in the table gives an
//   empty text, which callers treat as "leave that item out".
//
// Threads: constant data; any thread.
#pragma once

#include <QString>

enum StringId : int {
    IDS_ABOUTBOX = 101,
    IDS_SOCKETS_INIT_FAILED = 103,
    IDS_MONITOR_CHARGER = 105,
    IDS_CRC_CHECK = 106,
    IDS_WRITE_IMAGE = 107,
    IDS_UPGRADE_FROM_FILE = 110,
    IDS_USE_CARRIED_IMAGE = 111,
    IDS_CHARGER_TRENDS = 108,
};

// The text stored under the number; empty when there is none.
QString LoadString(int id);
