# cmake -DPROGRAM=... -DTEMPLATE=... -DOUTPUT=... -DVERSION=... -DRELEASE_MONTH=...
#       -DIMAGE_VERSION=... -P HelpToManPage.cmake
#
# Writes a program's manual page from its own --help, so the page lists the
# options the program really takes. The template (roff) carries what the help
# does not: the name line, the longer description, files, see also. It names
# the generated parts @HELP_SYNOPSIS@, @HELP_DESCRIPTION@ and @HELP_OPTIONS@.
#
# The help is read as: a "Usage: ..." line (indented lines right after it
# continue it), the description lines up to the
# first blank line, option lines indented and starting with "-" (the option
# and its upper-case placeholders, spaces, its text; deeper-indented lines
# continue the text), and
# anything else as plain paragraphs after the options. Headings such as
# "Options:" are left out, the page has its own.

cmake_minimum_required(VERSION 3.25)

# Help lines become a CMake list: keep ";" and brackets out of the list syntax.
string(ASCII 1 kSemi)
string(ASCII 2 kOpen)
string(ASCII 3 kClose)
string(ASCII 4 kBold)
string(ASCII 5 kEnd)

function(decode text out)
    string(REPLACE "${kSemi}" ";" text "${text}")
    string(REPLACE "${kOpen}" "[" text "${text}")
    string(REPLACE "${kClose}" "]" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Roff that prints the text as it is: backslashes escaped, no line taken for a
# request, options in bold with real minus signs.
function(roff_text text out)
    decode("${text}" text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "(^|[ (\"])(--?[a-z][a-z0-9-]*)" "\\1${kBold}\\2${kEnd}" text "${text}")
    while(text MATCHES "${kBold}([^${kEnd}]*)${kEnd}")
        set(option "${CMAKE_MATCH_1}")
        string(REPLACE "-" "\\-" bold "${option}")
        string(REPLACE "${kBold}${option}${kEnd}" "\\fB${bold}\\fR" text "${text}")
    endwhile()
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Roff for a synopsis or an option's own part: options bold, placeholders
# (upper-case words such as FILE or N) italic.
function(roff_syntax text out)
    decode("${text}" text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "([A-Z][A-Z0-9_]*)" "\\\\fI\\1\\\\fR" text "${text}")
    string(REGEX REPLACE "(^|[^A-Za-z0-9-])(--?[a-z][a-z0-9-]*)" "\\1\\\\fB\\2\\\\fR" text
                         "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

foreach(required PROGRAM TEMPLATE OUTPUT VERSION RELEASE_MONTH IMAGE_VERSION)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "HelpToManPage: ${required} is not set")
    endif()
endforeach()

execute_process(COMMAND ${PROGRAM} --help RESULT_VARIABLE rc OUTPUT_VARIABLE help
                ERROR_VARIABLE errors)
if(NOT rc EQUAL 0 OR help STREQUAL "")
    message(FATAL_ERROR "HelpToManPage: '${PROGRAM} --help' failed (${rc}):\n${errors}")
endif()
string(REPLACE ";" "${kSemi}" help "${help}")
string(REPLACE "[" "${kOpen}" help "${help}")
string(REPLACE "]" "${kClose}" help "${help}")
string(REGEX REPLACE "\n$" "" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

set(synopsis "")
set(description "")
set(options "")
set(extra "")
set(state "head")  # head, usage, description, body
set(option_text "")
foreach(line IN LISTS lines)
    if(line MATCHES "^Usage: ([^ ]+)(.*)$")
        set(program "${CMAKE_MATCH_1}")
        string(STRIP "${CMAKE_MATCH_2}" arguments)
        roff_syntax("${arguments}" synopsis)
        string(REPLACE "-" "\\-" program "${program}")
        set(synopsis ".B ${program}\n${synopsis}")
        set(state "usage")
    elseif(state STREQUAL "usage" AND line MATCHES "^ +([^ ].*)$")
        roff_syntax("${CMAKE_MATCH_1}" more)
        string(APPEND synopsis "\n${more}")
    elseif(line MATCHES "^[ \t]*$")
        if(state STREQUAL "description" AND NOT description STREQUAL "")
            set(state "body")
        endif()
        set(option_text "")
    elseif(line MATCHES "^[A-Z][A-Za-z ]*:$")
        set(state "body")
    elseif(line MATCHES "^ +(-[^ ]*(,? -[^ ]*| [A-Z${kOpen}][^ ]*)*)( +(.*))?$")
        set(state "body")
        roff_syntax("${CMAKE_MATCH_1}" spec)
        roff_text("${CMAKE_MATCH_4}" text)
        string(APPEND options ".TP\n${spec}\n${text}\n")
        set(option_text yes)
    elseif(option_text AND line MATCHES "^ +(.*)$")
        roff_text("${CMAKE_MATCH_1}" text)
        string(APPEND options "${text}\n")
    elseif(state STREQUAL "description" OR state STREQUAL "usage")
        set(state "description")
        roff_text("${line}" text)
        string(APPEND description "${text}\n")
    else()
        string(STRIP "${line}" line)
        roff_text("${line}" text)
        string(APPEND extra ".PP\n${text}\n")
        set(option_text "")
    endif()
endforeach()
if(synopsis STREQUAL "" OR options STREQUAL "")
    message(FATAL_ERROR "HelpToManPage: no usage line or no options in:\n${help}")
endif()

set(HELP_SYNOPSIS "${synopsis}")
string(STRIP "${description}" HELP_DESCRIPTION)
string(STRIP "${options}${extra}" HELP_OPTIONS)
file(READ ${TEMPLATE} page)
string(CONFIGURE "${page}" page @ONLY)
file(WRITE ${OUTPUT} "${page}")
