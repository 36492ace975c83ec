# The version of the programs and the package, from the repository.
#
# Included, it defines tovra_debian_version(); run as a script
# (cmake -DSOURCE_DIR=... -DFALLBACK=0.1 -DOUTPUT_DIR=... -P version.cmake) it
# writes OUTPUT_DIR/version.txt and OUTPUT_DIR/version.cpp, touching them only
# when the version changed, so that a build relinks the programs only then.
#
# In a git checkout the version comes from `git describe`; outside one (a copy
# without .git, an unpacked source archive) it is the project() version.

# A Debian version (digits first, then letters, digits and . + ~ only) made
# from what git said. `describe` is `git describe --tags` output or empty when
# no tag is reachable; then the project() version `fallback` stands in for the
# tag, with every commit counted (`count`). `hash` is the abbreviated commit.
#   v0.2                -> 0.2
#   v0.2-5-g4b82a0f     -> 0.2+git5.g4b82a0f
#   (no tag), 0.1, 191  -> 0.1+git191.g4b82a0f
function(tovra_debian_version describe fallback count hash out)
  set(base "${fallback}")
  set(ahead "${count}")
  if(describe MATCHES "^v?([0-9][A-Za-z0-9.+~_-]*)-([0-9]+)-g([0-9a-f]+)$")
    set(base "${CMAKE_MATCH_1}")
    set(ahead "${CMAKE_MATCH_2}")
    set(hash "${CMAKE_MATCH_3}")
  elseif(describe MATCHES "^v?([0-9][A-Za-z0-9.+~_-]*)$")
    set(base "${CMAKE_MATCH_1}")
    set(ahead "")
  endif()
  # A hyphen would make a native version a Debian revision; _ is no version character.
  string(REGEX REPLACE "[-_]" "~" base "${base}")
  if(ahead STREQUAL "" OR hash STREQUAL "")
    set(${out} "${base}" PARENT_SCOPE)
  else()
    set(${out} "${base}+git${ahead}.g${hash}" PARENT_SCOPE)
  endif()
endfunction()

# The version of the source tree at `source_dir`, else `fallback`.
function(tovra_source_version source_dir fallback out)
  set(${out} "${fallback}" PARENT_SCOPE)
  find_program(TOVRA_GIT git)
  if(NOT TOVRA_GIT OR NOT EXISTS "${source_dir}/.git")
    return()
  endif()
  # The checkout may belong to another user (a CI copy): only reading it, so
  # git's ownership check does not apply.
  set(git "${TOVRA_GIT}" -c safe.directory=* -C "${source_dir}")
  execute_process(COMMAND ${git} rev-parse --short=7 HEAD
                  OUTPUT_VARIABLE hash RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed)
    return()
  endif()
  execute_process(COMMAND ${git} rev-list --count HEAD
                  OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND ${git} describe --tags --abbrev=7 --match "[0-9]*" --match "v[0-9]*"
                  OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  tovra_debian_version("${describe}" "${fallback}" "${count}" "${hash}" version)
  set(${out} "${version}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE AND DEFINED OUTPUT_DIR)
  tovra_source_version("${SOURCE_DIR}" "${FALLBACK}" version)
  file(CONFIGURE OUTPUT "${OUTPUT_DIR}/version.txt" CONTENT "${version}\n" @ONLY)
  file(CONFIGURE OUTPUT "${OUTPUT_DIR}/version.cpp" CONTENT
       "// Written by packaging/version.cmake at each build.\n#include \"app/version.h\"\n\nconst char *const caTovra_Version = \"${version}\";\n"
       @ONLY)
endif()
