# Checks that jotwell.exe stays within its size budget.
#   cmake -DEXE=jotwell.exe -DLIMIT=bytes -P size_test.cmake
file(SIZE ${EXE} size)
message("jotwell.exe: ${size} bytes (limit ${LIMIT})")
if(size GREATER LIMIT)
    message(FATAL_ERROR "jotwell.exe is ${size} bytes, over its ${LIMIT}. A likely cause is C++ "
                        "library code that throws (std::string, streams, containers): it links "
                        "the whole exception runtime into the program.")
endif()
