# SPDX-License-Identifier: MIT
# Writes the released sections of CHANGELOG.md as a Debian changelog, the form
# Debian's tools read from a package's share/doc/<package>/changelog.gz.
#   cmake -DINPUT=CHANGELOG.md -DOUTPUT=changelog -DPACKAGE=uitrans
#         -DMAINTAINER="Name <address>" -P debian_changelog.cmake
# Released sections are "## [VERSION] - YYYY-MM-DD"; "### Added" and the like
# become category lines; each "- " item becomes one "* " entry, rewrapped to
# fit 80 columns. The Unreleased section is left out: it ships in no package.
cmake_minimum_required(VERSION 3.20)

# Debian dates name the weekday: Zeller's congruence, 0 = Saturday.
function(rfc2822_date iso_date out_var)
  string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" _ "${iso_date}")
  math(EXPR year "${CMAKE_MATCH_1}")
  math(EXPR month "${CMAKE_MATCH_2}")
  math(EXPR day "${CMAKE_MATCH_3}")
  set(y ${year})
  set(m ${month})
  if(m LESS 3)
    math(EXPR m "${m} + 12")
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday
       "(${day} + 13 * (${m} + 1) / 5 + ${y} + ${y} / 4 - ${y} / 100 + ${y} / 400) % 7")
  set(weekdays Sat Sun Mon Tue Wed Thu Fri)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  math(EXPR month_index "${month} - 1")
  list(GET months ${month_index} month_name)
  set(${out_var}
      "${weekday_name}, ${CMAKE_MATCH_3} ${month_name} ${year} 00:00:00 +0000"
      PARENT_SCOPE)
endfunction()

# Appends one "* " entry, its words wrapped at 78 columns, to `changes`.
function(append_entry text)
  string(REPLACE "`" "" text "${text}")
  string(STRIP "${text}" text)
  string(REGEX REPLACE " +" ";" words "${text}")
  set(line "  *")
  set(wrapped "")
  foreach(word IN LISTS words)
    string(REGEX REPLACE "<[a-z]+>" "x" shown "${line} ${word}")
    string(LENGTH "${shown}" length)
    if(length GREATER 78 AND NOT line STREQUAL "    ")
      string(APPEND wrapped "${line}\n")
      set(line "   ")
    endif()
    string(APPEND line " ${word}")
  endforeach()
  set(changes "${changes}${wrapped}${line}\n" PARENT_SCOPE)
endfunction()

# Appends the entry being collected, if any, and starts none.
macro(flush_entry)
  if(NOT entry STREQUAL "")
    append_entry("${entry}")
    set(entry "")
  endif()
endmacro()

# Appends the section being collected, with its header and trailer.
macro(flush_section)
  flush_entry()
  if(NOT version STREQUAL "")
    rfc2822_date("${date}" stamp)
    string(APPEND result
           "${PACKAGE} (${version}) unstable; urgency=medium\n\n"
           "${changes}\n -- ${MAINTAINER}  ${stamp}\n\n")
  endif()
  set(version "")
  set(changes "")
endmacro()

file(READ "${INPUT}" text)
# Keep list separators and brackets of the text out of CMake's list handling.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "[" "<open>" text "${text}")
string(REPLACE "]" "<close>" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

set(result "")
set(version "")
set(changes "")
set(entry "")
set(in_release FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^## ")
    flush_section()
    set(in_release FALSE)
    if(line MATCHES "^## <open>([^<]+)<close> - ([0-9-]+)")
      set(version "${CMAKE_MATCH_1}")
      set(date "${CMAKE_MATCH_2}")
      set(in_release TRUE)
    endif()
  elseif(NOT in_release)
  elseif(line MATCHES "^### (.+)$")
    flush_entry()
    if(NOT changes STREQUAL "")
      string(APPEND changes "\n")
    endif()
    string(APPEND changes "  ${CMAKE_MATCH_1}:\n")
  elseif(line MATCHES "^- (.*)$")
    flush_entry()
    set(entry "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  +(.*)$" AND NOT entry STREQUAL "")
    string(APPEND entry " ${CMAKE_MATCH_1}")
  else()
    flush_entry()
  endif()
endforeach()
flush_section()

if(result STREQUAL "")
  message(FATAL_ERROR "${INPUT} holds no released version")
endif()
string(REGEX REPLACE "\n\n$" "\n" result "${result}")
string(REPLACE "<semicolon>" ";" result "${result}")
string(REPLACE "<open>" "[" result "${result}")
string(REPLACE "<close>" "]" result "${result}")
file(WRITE "${OUTPUT}" "${result}")
