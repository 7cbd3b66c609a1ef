# Run by CPack after it has staged the installed files: update.ini goes into the package only,
# so that only the packaged program installs updates.
if(NOT CPACK_VANTREL_UPDATE_INI OR NOT EXISTS "${CPACK_VANTREL_UPDATE_INI}")
    message(FATAL_ERROR "update.ini was not configured")
endif()
file(COPY "${CPACK_VANTREL_UPDATE_INI}"
    DESTINATION "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_VANTREL_UPDATE_INI_FOLDER}")
