// Charger identification: the Read command.
//
// Principles of operation
//   ReadChargerVersions asks the charger on the port for its boot-code and
//   charger-code versions with "\r/01-\r/00\r", listening 2000 ms per attempt
//   and trying up to four times. It recognises a charger without firmware (its
//   boot loader sends "C" twice before a request, or answers with NAKs),
//   writes the versions and the status into the view and decides whether the
//   Upgrade button is offered. A device that goes away (a pulled USB
//   adapter) ends the listening at once, with no further attempts, and the
//   read as a failure even when a "Boot" line came before it. It may be
//   entered with the port open (after an upload) or closed, and always
//   returns with the port closed.
//
//   Deadline is a millisecond deadline on the process clock; it compares by
//   signed difference, so it behaves across the 32-bit wrap of the clock.
//
// Threads: runs on the caller's thread, polling the port's receive ring
// between sleeps of the given clock.
#pragma once

#include "platform/Clock.h"
#include "protocol/ChargerView.h"
#include "protocol/Deadline.h"
#include "serial/SerialPort.h"

void ReadChargerVersions(CSerialPort& port, IChargerView& view, platform::IClock& clock);
