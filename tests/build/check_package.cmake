# Builds the release package with CPack into WORK and checks what a user
# unpacks: one folder NAME holding exactly jotwell.exe (the built EXE),
# README.txt (UTF-8 with a byte-order mark, CRLF, naming VERSION) and
# LICENSE.txt (MIT, CRLF).
#   cmake -DCPACK=... -DCONFIG=... -DWORK=... -DNAME=... -DVERSION=... -DEXE=... -P check_package.cmake
set(failures 0)
macro(fail message)
    message("FAIL: ${message}")
    math(EXPR failures "${failures} + 1")
endmacro()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/unpacked)
execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${WORK} RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
set(zip ${WORK}/${NAME}.zip)
if(NOT rc EQUAL 0 OR NOT EXISTS ${zip})
    message(FATAL_ERROR "FAIL: cpack did not make ${NAME}.zip (${rc}):\n${out}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${WORK}/unpacked
                RESULT_VARIABLE rc)
file(GLOB_RECURSE entries RELATIVE ${WORK}/unpacked ${WORK}/unpacked/*)
list(SORT entries)
set(expected ${NAME}/LICENSE.txt ${NAME}/README.txt ${NAME}/jotwell.exe)
if(NOT entries STREQUAL expected)
    fail("the archive holds [${entries}], not [${expected}]")
endif()

set(dir ${WORK}/unpacked/${NAME})
file(SHA256 ${dir}/jotwell.exe packaged)
file(SHA256 ${EXE} built)
if(NOT packaged STREQUAL built)
    fail("jotwell.exe is not the built program")
endif()

# Line ends are checked on the bytes: file(READ) as text drops carriage returns.
foreach(text README.txt LICENSE.txt)
    file(READ ${dir}/${text} hex HEX)
    string(REGEX REPLACE "(..)" " \\1" bytes "${hex}")
    string(REPLACE " 0d 0a" " CRLF" marked "${bytes}")
    string(FIND "${marked}" " CRLF" first_crlf)
    string(FIND "${marked}" " 0a" bare_lf)
    if(first_crlf EQUAL -1 OR NOT bare_lf EQUAL -1)
        fail("${text}: lines do not all end in CRLF")
    endif()
endforeach()

file(READ ${dir}/README.txt readme_head HEX LIMIT 3)
if(NOT readme_head STREQUAL "efbbbf")
    fail("README.txt does not start with the UTF-8 byte-order mark (${readme_head})")
endif()
file(READ ${dir}/README.txt readme)
foreach(needle "Jotwell ${VERSION}" "jotwell.ini" "文書保存フォルダ" "表示の切り替え" "日本語入力"
               "hhmmss.txt" "LICENSE.txt")
    string(FIND "${readme}" "${needle}" at)
    if(at EQUAL -1)
        fail("README.txt does not mention ${needle}")
    endif()
endforeach()
string(FIND "${readme}" "@JOTWELL_VERSION@" at)
if(NOT at EQUAL -1)
    fail("README.txt still holds the version placeholder")
endif()
file(READ ${dir}/LICENSE.txt licence)
foreach(needle "MIT License" "Jotwell contributors")
    string(FIND "${licence}" "${needle}" at)
    if(at EQUAL -1)
        fail("LICENSE.txt does not hold ${needle}")
    endif()
endforeach()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} package check(s) failed for ${NAME}.zip")
endif()
message("${NAME}.zip: ${entries}")
