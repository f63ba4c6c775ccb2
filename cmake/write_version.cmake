# Writes the program's version header: the project's version and, in a git
# checkout, the commit it was built from ("1.1.0 (commit 1a2b3c4d5e6f)", with
# ", changed" when the checkout differs from that commit). Run at every build
# with cmake -P; the header is rewritten only when its text changes, so an
# unchanged checkout rebuilds nothing.
#   cmake -DSOURCE_DIR=... -DVERSION=1.1.0 -DOUTPUT=.../kestu_version.h -P write_version.cmake
set(text "${VERSION}")
find_program(GIT_PROGRAM git)
if(GIT_PROGRAM AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_PROGRAM}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
    OUTPUT_VARIABLE commit RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed AND NOT commit STREQUAL "")
    # Only files git follows count; the build folder and a study are ignored.
    execute_process(COMMAND "${GIT_PROGRAM}" -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
      OUTPUT_VARIABLE changes RESULT_VARIABLE status_failed ERROR_QUIET)
    if(NOT status_failed AND NOT changes STREQUAL "")
      set(text "${VERSION} (commit ${commit}, changed)")
    else()
      set(text "${VERSION} (commit ${commit})")
    endif()
  endif()
endif()
set(header "#pragma once

// The program's version: the project's version and, in a git checkout, the
// commit it was built from. Written at every build by cmake/write_version.cmake.
namespace kestu {
inline constexpr const char* KestuVersion = \"${text}\";
inline constexpr const char* KestuVersionNumber = \"${VERSION}\";
}
")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL header)
  file(WRITE "${OUTPUT}" "${header}")
endif()
