// Firmware image files: an image read from disk, checked before it is sent.
//
// Principles of operation
//   A technician can upgrade a charger from an image file instead of the
//   carried image. Nothing may reach the charger until the file has passed
//   every check the image file format allows: it is a regular file (known
//   from its type before it is opened); its size is 128 plus the header's
//   code length; there is code (an empty image would leave a charger without
//   firmware); the header's CRC equals the plain CRC-16 over the code; header
//   bytes 4 to 127 are zero; the code is at most 65535 bytes. LoadFirmwareImage reads the file once
//   (a file that changes while it is read is checked as it was read) and returns the image, or
//   nothing and the reason in words a technician can act on ("the header
//   says 12682 code bytes, the file holds 12000"); ImageFileRefusal puts the
//   path in front of it for the command line and the window alike.
//
//   The label is the charger-code version the charger must report once the
//   image is installed: the caller's, or else the file's name without a
//   ".bin" extension in any case ("2.10e.bin" gives "2.10e", as the export
//   names its files; "2.11a" stays "2.11a").
//
// Threads: any thread; no shared state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "protocol/FirmwareImage.h"

// The label a file gives when none is given: its name without the folder
// and without a ".bin" extension (any case).
std::string LabelFromFileName(const std::string& path);

// Why bytes of an image file are not a sound image, or empty when they are.
std::string ImageFileProblem(std::span<const std::uint8_t> file);

// Reads and checks an image file. An empty label takes LabelFromFileName.
std::optional<CFirmwareImage> LoadFirmwareImage(const std::string& path, const std::string& label,
                                                std::string& reason);

// What a refused file shows the user: "Cannot use the image file PATH:
// REASON."
std::string ImageFileRefusal(const std::string& path, const std::string& reason);
