#include "cli/HelpFormatter.h"

#include <sstream>

#include "support/WrapHelpText.h"

std::string CHelpFormatter::Wrap(const std::string& text) const {
    return WrapHelpText(text, kLineWidth - get_column_width());
}

// A command's own --help starts with its description, from column 0.
std::string CHelpFormatter::make_description(const CLI::App* command) const {
    const std::string description = CLI::Formatter::make_description(command);
    return description.empty() ? description : WrapHelpText(description, kLineWidth) + "\n";
}

std::string CHelpFormatter::make_option_desc(const CLI::Option* option) const {
    return Wrap(CLI::Formatter::make_option_desc(option));
}

std::string CHelpFormatter::make_subcommand(const CLI::App* command) const {
    std::stringstream out;
    CLI::detail::format_help(out, command->get_display_name(true), Wrap(command->get_description()),
                             get_column_width());
    return out.str();
}
