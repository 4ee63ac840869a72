// The layout of corvane-cli's --help.
//
// Principles of operation
//   CLI11 prints an option's or a command's text on one line however long it
//   is. CHelpFormatter breaks those texts between words so that every line
//   ends before column 80, the later lines indented to the text's column;
//   HelpToManPage reads such indented lines as the same option's text. A
//   single word longer than the room keeps its own line.
//   ParseCommandLine installs it on the top level, and the commands take it
//   from there.
//
// Threads: used while the command line is parsed, on the main thread.
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>

class CHelpFormatter : public CLI::Formatter {
public:
    static constexpr std::size_t kLineWidth = 80;

    std::string make_description(const CLI::App* command) const override;
    std::string make_option_desc(const CLI::Option* option) const override;
    std::string make_subcommand(const CLI::App* command) const override;

private:
    std::string Wrap(const std::string& text) const;
};
