// The utility's own version.
//
// Principles of operation
//   ProgramVersion is the version of the Corvane release these programs were
//   built from, as the package manager shows it ("2.1.0-1"); it comes from
//   debian/changelog at configure time. It is not the carried image's version
//   label (UpgradeVersion), which only changes with a new firmware image.
//   Every program's --version prints it.
//
// Threads: a constant; read from any thread.
#pragma once

const char* ProgramVersion();
