# The project's version and release date, read from the newest entry of
# debian/changelog, the one place they are written. Included before
# project(), which takes the numeric part.
#
#   CORVANE_PACKAGE_VERSION   the package's version as dpkg shows it (2.1.0-1)
#   CORVANE_UPSTREAM_VERSION  without epoch and Debian revision (2.1.0)
#   CORVANE_NUMERIC_VERSION   its leading numbers, for project() (2.1.0)
#   CORVANE_RELEASE_DATE      the entry's date as YYYY-MM-DD
#   CORVANE_RELEASE_MONTH     the entry's month and year ("December 2026")

set(changelog ${CMAKE_CURRENT_LIST_DIR}/../debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(READ ${changelog} changelog_text)
if(NOT changelog_text MATCHES "^corvane \\(([^)]+)\\)")
    message(FATAL_ERROR "debian/changelog: the first line names no corvane version")
endif()
set(CORVANE_PACKAGE_VERSION "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^[0-9]+:" "" CORVANE_UPSTREAM_VERSION "${CORVANE_PACKAGE_VERSION}")
string(REGEX REPLACE "-[^-]*$" "" CORVANE_UPSTREAM_VERSION "${CORVANE_UPSTREAM_VERSION}")
if(NOT CORVANE_UPSTREAM_VERSION MATCHES "^([0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?)")
    message(FATAL_ERROR "debian/changelog: version ${CORVANE_PACKAGE_VERSION} starts with no number")
endif()
set(CORVANE_NUMERIC_VERSION "${CMAKE_MATCH_1}")

# The trailer line of the first entry: " -- Name <mail>  Mon, 07 Dec 2026 12:00:00 +0000"
if(NOT changelog_text MATCHES
   "\n -- [^\n]*>  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "debian/changelog: the first entry has no trailer line with a date")
endif()
set(day "${CMAKE_MATCH_1}")
set(month_abbrev "${CMAKE_MATCH_2}")
set(year "${CMAKE_MATCH_3}")
set(months Jan January Feb February Mar March Apr April May May Jun June Jul July Aug August
    Sep September Oct October Nov November Dec December)
list(FIND months "${month_abbrev}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "debian/changelog: unknown month ${month_abbrev}")
endif()
math(EXPR month_number "${at} / 2 + 1" OUTPUT_FORMAT DECIMAL)
math(EXPR at "${at} + 1")
list(GET months ${at} month_name)
string(LENGTH "${day}" day_digits)
if(day_digits EQUAL 1)
    set(day "0${day}")
endif()
if(month_number LESS 10)
    set(month_number "0${month_number}")
endif()
set(CORVANE_RELEASE_DATE "${year}-${month_number}-${day}")
set(CORVANE_RELEASE_MONTH "${month_name} ${year}")
