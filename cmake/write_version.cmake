# Writes kavlen_version.h with the release number, plus the commit when the
# checkout is not at the release's tag (0.1.0+g1234abc). Run at every build;
# the header is rewritten only when its text changes, so nothing recompiles
# needlessly. Inputs: SOURCE_DIR, OUTPUT, VERSION.
set(full "${VERSION}")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --tags --exact-match --match "v${VERSION}"
                  RESULT_VARIABLE tagged OUTPUT_QUIET ERROR_QUIET)
  if(NOT tagged EQUAL 0)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=7 HEAD
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(commit)
      set(full "${VERSION}+g${commit}")
    endif()
  endif()
endif()
# The numbers alone, for the Windows version resource's four-part fields.
string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
string(CONCAT text "// Generated at build time; do not edit.\n#pragma once\n#define KAVLEN_VERSION \"${full}\"\n"
  "#define KAVLEN_VERSION_MAJOR ${major}\n#define KAVLEN_VERSION_MINOR ${minor}\n"
  "#define KAVLEN_VERSION_PATCH ${patch}\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE "${OUTPUT}" "${text}")
endif()
