# Release packages: jotwell-<version>-win64.zip and jotwell-<version>-win32.zip,
# each a folder of that name holding jotwell.exe, README.txt and LICENSE.txt.
#
#   cmake --build build/win64 --target package
#   cmake --build build/win32 --target package
#
# The version is JOTWELL_VERSION, the same number the version resource carries.
if(NOT WIN32)
    return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(JOTWELL_PACKAGE_ARCH win64)
else()
    set(JOTWELL_PACKAGE_ARCH win32)
endif()
set(JOTWELL_PACKAGE_NAME jotwell-${JOTWELL_VERSION}-${JOTWELL_PACKAGE_ARCH})

# Texts for Notepad: CRLF line ends (older Notepads show LF-only files as one
# line), and the README in UTF-8 with a byte-order mark, which every Notepad
# since Windows XP reads as UTF-8 whatever the system's code page. Shift-JIS
# would show right only on Japanese systems and garble the English half's
# neighbours elsewhere; UTF-8 without a mark is read as Shift-JIS by Notepads
# before Windows 10 1903.
function(jotwell_notepad_text source destination with_bom)
    file(READ ${source} text)
    string(CONFIGURE "${text}" text @ONLY)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    set(bom "")
    if(with_bom)
        string(ASCII 239 187 191 bom)
    endif()
    file(WRITE ${destination} "${bom}${text}")
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

set(JOTWELL_PACKAGE_TEXTS ${CMAKE_BINARY_DIR}/packaging)
jotwell_notepad_text(${CMAKE_SOURCE_DIR}/packaging/README.txt ${JOTWELL_PACKAGE_TEXTS}/README.txt TRUE)
jotwell_notepad_text(${CMAKE_SOURCE_DIR}/LICENSE ${JOTWELL_PACKAGE_TEXTS}/LICENSE.txt FALSE)

install(TARGETS jotwell RUNTIME DESTINATION .)
install(FILES ${JOTWELL_PACKAGE_TEXTS}/README.txt ${JOTWELL_PACKAGE_TEXTS}/LICENSE.txt
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME jotwell)
set(CPACK_PACKAGE_VENDOR "Jotwell contributors")
set(CPACK_PACKAGE_VERSION ${JOTWELL_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "A tray-resident notepad for jotting things down quickly")
set(CPACK_PACKAGE_FILE_NAME ${JOTWELL_PACKAGE_NAME})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
# One folder in the archive, so that unpacking never scatters files.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_SOURCE_GENERATOR ZIP)
include(CPack)

