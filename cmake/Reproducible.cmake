# Reproducible outputs: two builds of one commit, in any folders and at any
# times, give the same bytes. Whatever stamps a time takes SOURCE_DATE_EPOCH,
# the last commit's time unless the environment gives one, and nothing that
# ships names the folders it was built in.

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(UPDATER_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git -C "${PROJECT_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE UPDATER_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE git_result ERROR_QUIET)
  if(NOT git_result EQUAL 0)
    # A tree without its history: the date of the changelog's newest entry,
    # as Debian's own package builds take it (not 1970, which lintian
    # refuses in a package as "ancient").
    file(STRINGS "${PROJECT_SOURCE_DIR}/packaging/changelog" trailer REGEX "^ -- " LIMIT_COUNT 1)
    string(REGEX REPLACE "^ -- .*>  " "" released "${trailer}")
    execute_process(COMMAND date -d "${released}" +%s
      OUTPUT_VARIABLE UPDATER_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
endif()
if(NOT UPDATER_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a count of seconds: ${UPDATER_SOURCE_DATE_EPOCH}")
endif()

# Every custom command (rcc, the packer, the installer's makensis) runs with
# it, whatever the shell that started the build had.
set_property(GLOBAL PROPERTY RULE_LAUNCH_CUSTOM
  "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${UPDATER_SOURCE_DATE_EPOCH}")

# File names in debug information and __FILE__: fixed ones, not the folders
# of this build (the build folder's, given last, wins inside the source
# folder). Debug builds keep theirs, for the debugger. To debug a release
# build from its .debug file: gdb -ex 'set substitute-path /updater SOURCE'.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  foreach(lang C CXX)
    string(APPEND CMAKE_${lang}_FLAGS " -ffile-prefix-map=${PROJECT_SOURCE_DIR}=/updater"
                                      " -ffile-prefix-map=${PROJECT_BINARY_DIR}=/updater/build")
  endforeach()
endif()

# moc's output includes the header it was made from, by default through a
# path relative to the output (../../../../src/window/qt/QtMainWindow.h).
# The debug information names that header's folder as the compiler found
# it, the build folder followed by that relative path, which no prefix map
# can reach: it changes with where the build sits relative to the source.
# With moc's path prefix the header is included by its name in the target's
# include directories, which are absolute, and so mapped like every other.
# (Every header moc reads is in its target's include directories.)
set(CMAKE_AUTOMOC_PATH_PREFIX ON)

if(WIN32)
  # The PE header's link time; the linker then also writes a checksum of
  # the same bytes.
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# Packages carry this time, whenever they were made and whatever the
# environment of the cpack that made them.
set(CPACK_UPDATER_SOURCE_DATE_EPOCH "${UPDATER_SOURCE_DATE_EPOCH}")
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/CPackProjectConfig.cmake")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/StagedFiles.cmake")
# Folders that an installation creates: 755, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
