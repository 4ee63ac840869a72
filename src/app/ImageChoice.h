// Image choice: which firmware image a window's Upgrade sends.
//
// Principles of operation
//   A window starts on the carried image. ChooseFile asks for an image file
//   through the file-dialog seam (FileDialogs.h), starting in the
//   "CRCFileDir" folder, and checks it as the image file format demands
//   before anything can be sent (LoadFirmwareImage). The label, the version
//   the charger must report afterwards, is offered for editing, proposed
//   from the file's name without a ".bin" extension; a cancelled question
//   keeps the choice as it was. A sound file becomes the choice; a refused one is
//   explained in a box with its reason and the choice stays as it was, as it
//   does when the dialog is cancelled. UseCarried goes back to the carried
//   image. Nothing of the choice is stored: the next start is on the carried
//   image again, and the folder setting is only read.
//
//   The main window keeps one for its life; any other window that sends an
//   image can keep its own.
//
// Threads: user-interface thread only.
#pragma once

#include <optional>

#include "protocol/FirmwareImage.h"

class QWidget;

class CImageChoice {
public:
    // The chosen file's image, or the carried one.
    const CFirmwareImage& Image() const;
    bool IsCarried() const { return !m_file.has_value(); }

    // Asks for a file and takes it when it passes the checks; true when the
    // choice changed. A refused file shows its reason in a box.
    bool ChooseFile(QWidget* owner);
    // Takes the file at `path` when it passes the checks (the second half of
    // ChooseFile); false, with the box, when it does not. An empty label
    // takes the one the file's name gives.
    bool TakeFile(const std::string& path, const std::string& label = {});
    void UseCarried() { m_file.reset(); }

private:
    std::optional<CFirmwareImage> m_file;
};
