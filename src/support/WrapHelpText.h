// Breaking a help text into lines.
//
// Principles of operation
//   The programs' --help must read in an 80-column terminal, and each option's
//   text sits in a column of its own. WrapHelpText breaks a text between words
//   into lines no longer than the room the caller has; a word longer than the
//   room keeps a line of its own. The caller indents the lines after the first.
//   corvane-cli's help formatter and corvane-sim's usage use it.
//
// Threads: a pure function.
#pragma once

#include <cstddef>
#include <string>

// text broken into lines of at most width characters, joined by "\n";
// runs of spaces between words become one.
std::string WrapHelpText(const std::string& text, std::size_t width);
