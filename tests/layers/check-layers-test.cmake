# cmake -DCHECKER=<cmake/CheckLayers.cmake> -DWORK=<empty folder> -P check-layers-test.cmake
#
# The include check on a small tree of its own: a clean tree passes (system headers in <...>
# included); an include from a folder above, in "..." or in <...>, and two modules that
# include each other, each fail the check and are named.

cmake_minimum_required(VERSION 3.25)

function(check expect_failure expected)
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK} -DLAYERS=${WORK}/layers.txt
                            -P ${CHECKER}
                    RESULT_VARIABLE result ERROR_VARIABLE output)
    if(expect_failure AND result EQUAL 0)
        message(FATAL_ERROR "the check passed, expected: ${expected}")
    endif()
    if(NOT expect_failure AND NOT result EQUAL 0)
        message(FATAL_ERROR "the check failed on a clean tree:\n${output}")
    endif()
    string(REGEX REPLACE "[ \n]+" " " output "${output}")
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "expected \"${expected}\" in:\n${output}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/layers.txt "low:low\nhigh:high,low\n")
file(WRITE ${WORK}/low/A.h "#pragma once\n#include <string>\n#include <sys/stat.h>\n")
file(WRITE ${WORK}/low/A.cpp "#include \"low/A.h\"\n")
file(WRITE ${WORK}/high/B.h "#include \"low/A.h\"\n")
file(WRITE ${WORK}/high/B.cpp "#include \"high/B.h\"\n#include <low/A.h>\n")
check(FALSE "")

file(APPEND ${WORK}/low/A.cpp "#include \"high/B.h\"\n")
check(TRUE "low/A.cpp includes high/B.h: low/ may include from low only")

file(WRITE ${WORK}/low/A.cpp
     "#include \"low/A.h\"\n#include <high/B.h>\n# include <high/deep/D.h>\n")
check(TRUE "low/A.cpp includes high/B.h: low/ may include from low only")
check(TRUE "low/A.cpp includes high/deep/D.h: low/ may include from low only")

file(WRITE ${WORK}/low/A.cpp "#include \"low/A.h\"\n#include \"low/C.h\"\n")
file(WRITE ${WORK}/low/C.h "#pragma once\n")
file(WRITE ${WORK}/low/C.cpp "#include \"low/A.h\"\n")
check(TRUE "modules include each other in a circle:")
check(TRUE "low/A -> low/C -> low/A")
file(REMOVE_RECURSE ${WORK})
