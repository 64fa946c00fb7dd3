# Read by cpack for every package it makes: the package's own times (archive
# headers, control files) are the build's SOURCE_DATE_EPOCH, not the moment
# someone ran cpack.
set(ENV{SOURCE_DATE_EPOCH} "${CPACK_UPDATER_SOURCE_DATE_EPOCH}")
