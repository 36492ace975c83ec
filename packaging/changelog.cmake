# Makes the package's changelog and the releases of its software-centre entry
# from CHANGELOG.md (run at build time):
#   cmake -DCHANGELOG=CHANGELOG.md -DPROJECT_VERSION=0.1 -DVERSION_FILE=version.txt
#         -DMAINTAINER="Name <mail>" -DMETAINFO_IN=x.metainfo.xml.in -DOUTPUT_DIR=dir -P changelog.cmake
# writes OUTPUT_DIR/changelog.gz (a Debian changelog, gzip -9n) and
# OUTPUT_DIR/<name of METAINFO_IN without .in>.
#
# CHANGELOG.md holds releases under `## VERSION (YYYY-MM-DD)`, newest first,
# each a list of `- ` items (continued on lines indented by two spaces). The
# newest release must be the project() version; in the Debian changelog it
# carries the package's full version (0.1+git5.g4b82a0f), as dpkg expects.

cmake_minimum_required(VERSION 3.25)
file(READ "${CHANGELOG}" text)
file(STRINGS "${VERSION_FILE}" package_version)
# CMake lists split on ";": the text's semicolons are a control character
# (of the same width) until written.
string(ASCII 31 semicolon)
string(REPLACE ";" "${semicolon}" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

set(releases "")
foreach(line IN LISTS lines)
  if(line MATCHES "^## ([^ ]+) \\(([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])\\)$")
    set(r "${CMAKE_MATCH_1}")
    list(APPEND releases "${r}")
    set(date_${r} "${CMAKE_MATCH_2}" "${CMAKE_MATCH_3}" "${CMAKE_MATCH_4}")
    set(items_${r} "")
  elseif(line MATCHES "^## ")
    message(FATAL_ERROR "${CHANGELOG}: a release heading is `## VERSION (YYYY-MM-DD)`, not: ${line}")
  elseif(DEFINED r AND line MATCHES "^- (.*)$")
    list(APPEND items_${r} "${CMAKE_MATCH_1}")
  elseif(DEFINED r AND line MATCHES "^  +(.*)$" AND items_${r})
    list(POP_BACK items_${r} last)
    list(APPEND items_${r} "${last} ${CMAKE_MATCH_1}")
  endif()
endforeach()
list(GET releases 0 newest)
if(NOT newest STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "${CHANGELOG}: the newest release is ${newest}, but project() says ${PROJECT_VERSION}: "
                      "add a release for it")
endif()

# "Tue, 08 Dec 2026 00:00:00 +0000" (the day of the week by Sakamoto's method).
function(rfc2822 year month day out)
  math(EXPR m "1${month} - 100") # "08": no octal
  math(EXPR d "1${day} - 100")
  set(y ${year})
  if(m LESS 3)
    math(EXPR y "${year} - 1")
  endif()
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  math(EXPR i "${m} - 1")
  list(GET offsets ${i} t)
  math(EXPR w "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${t} + ${d}) % 7")
  list(GET weekdays ${w} weekday)
  list(GET months ${i} name)
  set(${out} "${weekday}, ${day} ${name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# `text` as lines of at most 80 characters: the first after "  * ", the rest after four spaces.
function(debian_item text out)
  string(REPLACE " " ";" words "${text}")
  set(result "  *")
  set(width 3)
  foreach(word IN LISTS words)
    string(LENGTH "${word}" n)
    math(EXPR after "${width} + 1 + ${n}")
    if(after GREATER 80)
      string(APPEND result "\n   ")
      set(width 3)
      math(EXPR after "3 + 1 + ${n}")
    endif()
    string(APPEND result " ${word}")
    set(width ${after})
  endforeach()
  set(${out} "${result}\n" PARENT_SCOPE)
endfunction()

set(debian "")
set(metainfo "")
foreach(r IN LISTS releases)
  list(GET date_${r} 0 year)
  list(GET date_${r} 1 month)
  list(GET date_${r} 2 day)
  set(version "${r}")
  if(r STREQUAL newest)
    set(version "${package_version}")
  endif()
  rfc2822(${year} ${month} ${day} when)
  string(APPEND debian "tovra-comm (${version}) unstable; urgency=medium\n\n")
  string(APPEND metainfo "    <release version=\"${r}\" date=\"${year}-${month}-${day}\">\n"
                         "      <description>\n        <ul>\n")
  foreach(item IN LISTS items_${r})
    debian_item("${item}" entry)
    string(APPEND debian "${entry}")
    string(REPLACE "&" "&amp;" item "${item}")
    string(REPLACE "<" "&lt;" item "${item}")
    string(REPLACE ">" "&gt;" item "${item}")
    string(APPEND metainfo "          <li>${item}</li>\n")
  endforeach()
  string(APPEND debian "\n -- ${MAINTAINER}  ${when}\n\n")
  string(APPEND metainfo "        </ul>\n      </description>\n    </release>\n")
endforeach()
string(REPLACE "${semicolon}" ";" debian "${debian}")
string(REPLACE "${semicolon}" ";" metainfo "${metainfo}")
string(STRIP "${debian}" debian)
string(REGEX REPLACE "\n$" "" metainfo "${metainfo}")

file(WRITE "${OUTPUT_DIR}/changelog" "${debian}\n")
file(REMOVE "${OUTPUT_DIR}/changelog.gz")
execute_process(COMMAND gzip -9n "${OUTPUT_DIR}/changelog" COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(metainfo_name "${METAINFO_IN}" NAME)
string(REGEX REPLACE "\\.in$" "" metainfo_name "${metainfo_name}")
set(RELEASES "${metainfo}")
configure_file("${METAINFO_IN}" "${OUTPUT_DIR}/${metainfo_name}" @ONLY)
