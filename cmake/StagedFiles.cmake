# Run by CPack after it staged the files to package and before it packs
# them: every file and folder gets the build's SOURCE_DATE_EPOCH as its time
# and loses any group or other write permission the builder's umask gave it,
# so packages record neither when nor by whom they were built.
execute_process(COMMAND chmod -R go-w "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" COMMAND_ERROR_IS_FATAL ANY)
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(APPEND staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
foreach(path IN LISTS staged)
  execute_process(COMMAND touch -h -d "@${CPACK_UPDATER_SOURCE_DATE_EPOCH}" "${path}"
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
