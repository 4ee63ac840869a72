// Charger fixture: a real serial port, a recording view, the box recorder and
// the line clock, with either the simulated charger or a scripted peer on
// the far end of a pseudo-terminal.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LineClock.h"
#include "PtyPeer.h"
#include "RecordingView.h"
#include "TestKit.h"
#include "serial/SerialPort.h"
#include "sim/SimulatedCharger.h"

using Texts = std::vector<std::string>;

// The charger's texts as the tests expect them on the line.
inline const std::string kIdentifyRequest = "\r/01-\r/00\r";
inline const std::string kBootLoaderCommand = "/0842\r";
inline const std::string kUnplugTail = " seconds\nthen plug it back in and try again.";
inline const std::string kNoVersionBox =
    "Unable to get Version Information\nPlease unplug the charger for 5" + kUnplugTail;
inline const std::string kNoSoftwareBox =
    "No software detected in the charger\nPlease unplug the charger for 10" + kUnplugTail;
inline const std::string kUpgradeFailedBox =
    "Upgrade Process Failed\nPlease unplug the charger for 10" + kUnplugTail;

class ChargerFixture : public ::testing::Test {
protected:
    testkit::CBoxRecorder boxes;
    testkit::CDebugRecorder debug;
    CSerialPort port;
    CLineClock clock{port};
    CRecordingView view;
    std::unique_ptr<sim::CSimulatedCharger> charger;
    std::unique_ptr<CPtyPeer> peer;

    // A healthy charger with firmware 2.09 and boot code 1.3, whose boot
    // loader prompts every 20 ms once it runs. It forgives long gaps inside a
    // block: a busy test machine may stall the port's writer between the
    // requests of one block, and that is not what these tests are about.
    static sim::SimOptions Healthy() {
        sim::SimOptions options;
        options.startIntervalMs = 20;
        options.blockGapMs = 5000;
        return options;
    }

    void StartCharger(const sim::SimOptions& options) {
        charger = std::make_unique<sim::CSimulatedCharger>(options);
        ASSERT_TRUE(charger->Start()) << charger->ErrorText();
        port.SetPortName(charger->SlavePath());
    }

    // The test plays the charger itself.
    CPtyPeer& StartPeer() {
        peer = std::make_unique<CPtyPeer>(port);
        port.SetPortName(peer->Path());
        clock.peer = [this] { peer->Service(); };
        // The scripted far end answers within the settle that sees the
        // request, so a longer wait would only be spent on silence.
        clock.replyWaitMs = 100;
        return *peer;
    }

    Texts BoxTexts() const {
        Texts texts;
        for (const auto& box : boxes.Boxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }
};
