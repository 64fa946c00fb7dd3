# Authenticode for Updater.exe, the uninstaller and the installer, when the
# board maker has a certificate, or when someone rebuilds a signed release
# from its published signatures. Without either nothing is signed.
set(UPDATER_SIGN_PFX "" CACHE FILEPATH
  "PKCS#12 file with the code-signing certificate and key; empty: nothing is signed")
set(UPDATER_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the PKCS#12 file's password")
set(UPDATER_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server; empty: no time stamp")
set(UPDATER_SIGNATURES "" CACHE PATH
  "Folder of a release's published signatures (*.sig) to attach instead of signing")
set(UPDATER_SIGNATURES_CA_FILE "" CACHE FILEPATH
  "Certificate authority the attached signatures must chain to; empty: the system's")

# updater_sign_command(<var> <name>): the command, as a list, that signs or
# attaches the signature of the file named last on its command line, kept
# or looked up as <name>.sig; empty when the build signs nothing.
function(updater_sign_command out name)
  set(script "${PROJECT_SOURCE_DIR}/packaging/windows/sign.sh")
  if(UPDATER_SIGN_PFX AND UPDATER_SIGNATURES)
    message(FATAL_ERROR "Give UPDATER_SIGN_PFX or UPDATER_SIGNATURES, not both.")
  endif()
  if(UPDATER_SIGN_PFX OR UPDATER_SIGNATURES)
    find_program(UPDATER_OSSLSIGNCODE osslsigncode REQUIRED)
  endif()
  if(UPDATER_SIGN_PFX)
    if(NOT UPDATER_SIGN_PASSWORD_FILE)
      message(FATAL_ERROR "UPDATER_SIGN_PFX needs UPDATER_SIGN_PASSWORD_FILE.")
    endif()
    set(url "${UPDATER_SIGN_TIMESTAMP_URL}")
    if(NOT url)
      set(url -)
    endif()
    set(${out} "${script}" sign "${UPDATER_OSSLSIGNCODE}" "${UPDATER_SIGN_PFX}"
      "${UPDATER_SIGN_PASSWORD_FILE}" "${url}" "${UPDATER_SOURCE_DATE_EPOCH}"
      "${CMAKE_BINARY_DIR}/signatures" "${name}" PARENT_SCOPE)
  elseif(UPDATER_SIGNATURES)
    set(ca "${UPDATER_SIGNATURES_CA_FILE}")
    if(NOT ca)
      set(ca -)
    endif()
    set(${out} "${script}" attach "${UPDATER_OSSLSIGNCODE}" "${UPDATER_SIGNATURES}" "${ca}" "${name}"
      PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()
