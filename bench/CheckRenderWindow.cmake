# Runs the render benchmark's window comparison on a small synthetic landscape and checks that
# both renders completed, that the window showed the engine's picture, and that the last line is
# the ratio of the two times. Called by CTest with RENDER (the program).
execute_process(COMMAND "${RENDER}" --window --synthetic 34 --depth 2 --size 160x120 --repeat 1
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "render --window failed (${result}):\n${output}\n${errors}")
endif()
if(NOT output MATCHES "engine: Completed: [0-9]+ triangles" OR NOT output MATCHES "window: Completed: [0-9]+ triangles")
  message(FATAL_ERROR "a render did not complete:\n${output}")
endif()
if(NOT output MATCHES "pictures: the same")
  message(FATAL_ERROR "the window's picture is not the engine's:\n${output}")
endif()
string(STRIP "${output}" output)
string(REGEX MATCH "[^\n]*$" last "${output}")
if(NOT last MATCHES "^window / engine = [0-9]+\\.[0-9][0-9]$")
  message(FATAL_ERROR "last line is not the ratio: '${last}'\n${output}")
endif()
