# Runs one short round of the benchmark and checks that it completed and that
# every row of its table is printed and written to its CSV file.
#   cmake -DEMULATOR=... -DBENCH=bench.exe -DCSV=file.csv -P smoke_test.cmake
set(rows "open" "open floor" "open/floor" "save" "save floor" "save/floor" "start"
         "start floor" "start/floor" "peer" "open/peer" "start/peer" "idle cpu" "idle floor"
         "idle/floor" "private bytes" "gdi objects" "user objects" "size win64" "size win32")

file(REMOVE ${CSV})
execute_process(COMMAND ${EMULATOR} ${BENCH} --reps 3 --idle-seconds 2 --cycles 5 --csv ${CSV}
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE code)
message("${output}")
if(NOT code EQUAL 0)
    message(FATAL_ERROR "the benchmark ended with ${code}:\n${errors}")
endif()
if(EXISTS ${CSV})
    file(READ ${CSV} csv)
else()
    set(csv "")
endif()

set(missing "")
foreach(row IN LISTS rows)
    string(FIND "${output}" "\n| ${row} | " printed)
    string(FIND "${csv}" "\n${row}," written)
    if(printed EQUAL -1)
        list(APPEND missing "'${row}' not printed")
    endif()
    if(written EQUAL -1)
        list(APPEND missing "'${row}' not in ${CSV}")
    endif()
endforeach()
if(missing)
    list(JOIN missing "; " text)
    message(FATAL_ERROR "rows missing: ${text}")
endif()
