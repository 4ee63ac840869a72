// Image export: writes the carried upgrade image to a file of the user's choice.
//
// Principles of operation
//   WriteImage asks for a file name through the file-dialog seam
//   (FileDialogs.h) with the title "Write Image File", proposing
//   "<version>.bin" in the "CRCFileDir" folder; the save dialog asks before
//   an existing file is replaced. The image goes to disk through
//   ExportImageTo (ImageWriter.h), which writes beside the target and renames,
//   so a failed export never leaves a half-written image nor destroys the old
//   file. Once a name was confirmed, "CRCFileDir" is written back with the
//   text read before the dialog, whether the export worked or not. A failure
//   is reported in a box that names the file; a success shows no box: the
//   caller says where the image went (the main window, in its status line).
//
// Threads: user-interface thread only.
#pragma once

class QWidget;

#include <string>

// The main window's "Write Image" command. The path written (as the system
// names it), or empty when cancelled or failed (the failure reported).
std::string WriteImage(QWidget* owner);
