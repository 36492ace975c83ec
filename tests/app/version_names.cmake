# The version of a build from its source tree (packaging/version.cmake):
# Debian versions from what `git describe` says, and the tree itself in a
# scratch repository, with a tag, after it, and copied without its history.
# Run by CTest: cmake -DSOURCE_DIR=<the project> -P version_names.cmake
# The scratch repositories go to a fresh temporary folder, not the build tree:
# the suite may run as another user than the one who built it.
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/packaging/version.cmake)

function(expect what got want)
  if(NOT got STREQUAL want)
    message(SEND_ERROR "${what}: ${got}, not ${want}")
  endif()
endfunction()

# describe | project() version | commits | hash | version
set(table
  "v0.2|0.1|191|4b82a0f|0.2"
  "v0.2-5-g4b82a0f|0.1|191|4b82a0f|0.2+git5.g4b82a0f"
  "0.3-rc1|0.1|9|abcdef0|0.3~rc1"
  "0.3-rc1-2-gabcdef0|0.1|9|abcdef0|0.3~rc1+git2.gabcdef0"
  "|0.1|191|4b82a0f|0.1+git191.g4b82a0f"
  "release-7|0.1|3|abcdef0|0.1+git3.gabcdef0")
foreach(row IN LISTS table)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 describe)
  list(GET row 1 fallback)
  list(GET row 2 count)
  list(GET row 3 hash)
  list(GET row 4 want)
  tovra_debian_version("${describe}" "${fallback}" "${count}" "${hash}" got)
  expect("describe '${describe}'" "${got}" "${want}")
endforeach()

# A repository of two commits, then tagged, then one more, then copied without .git.
execute_process(COMMAND mktemp -d OUTPUT_VARIABLE SCRATCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(git git -c user.name=t -c user.email=t@t -c init.defaultBranch=main -C ${SCRATCH}/tree)
file(MAKE_DIRECTORY ${SCRATCH}/tree)
execute_process(COMMAND ${git} init -q COMMAND_ERROR_IS_FATAL ANY)
foreach(step 1 2)
  execute_process(COMMAND ${git} commit -q --allow-empty -m ${step} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(COMMAND ${git} rev-parse --short=7 HEAD OUTPUT_VARIABLE hash OUTPUT_STRIP_TRAILING_WHITESPACE)
tovra_source_version(${SCRATCH}/tree 0.1 got)
expect("no tag" "${got}" "0.1+git2.g${hash}")
execute_process(COMMAND ${git} tag v0.2 COMMAND_ERROR_IS_FATAL ANY)
tovra_source_version(${SCRATCH}/tree 0.1 got)
expect("at the tag" "${got}" "0.2")
execute_process(COMMAND ${git} commit -q --allow-empty -m 3 COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${git} rev-parse --short=7 HEAD OUTPUT_VARIABLE hash OUTPUT_STRIP_TRAILING_WHITESPACE)
tovra_source_version(${SCRATCH}/tree 0.1 got)
expect("after the tag" "${got}" "0.2+git1.g${hash}")
file(MAKE_DIRECTORY ${SCRATCH}/copy)
tovra_source_version(${SCRATCH}/copy 0.1 got)
expect("without .git" "${got}" "0.1")
file(REMOVE_RECURSE ${SCRATCH})
