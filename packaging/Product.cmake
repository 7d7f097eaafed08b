# Product strings, kept in one place: the version record compiled into the program, the Windows
# version resource and the package all read them.
set(QUILBO_PRODUCT_NAME "Quilbo")
set(QUILBO_FILE_DESCRIPTION "RFID label printer demonstration and test tool")
set(QUILBO_INTERNAL_NAME "QB-100")
set(QUILBO_COMMENTS "Version")
set(QUILBO_LEGAL_COPYRIGHT "(C) 2026 The Quilbo developers")
# U.S. English, code page 1252: the translation the string table is filed under.
set(QUILBO_VERSION_LANGUAGE 0x0409)
set(QUILBO_VERSION_CODEPAGE 0x04E4)
set(QUILBO_VERSION_BLOCK "040904E4")
