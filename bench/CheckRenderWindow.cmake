# Runs the render benchmark's window comparison on a small synthetic landscape and checks that
# both renders completed, that the window showed the engine's picture, that the longest wait
# between pumped messages is printed, and that the last line is the ratio of the two times; then
# saves a small forest project and compares on that file the same way. Called by CTest with RENDER
# (the program) and FOREST (a project file to write).
function(check_window_comparison output)
  if(NOT output MATCHES "engine: Completed: [0-9]+ triangles" OR NOT output MATCHES "window: Completed: [0-9]+ triangles")
    message(FATAL_ERROR "a render did not complete:\n${output}")
  endif()
  if(NOT output MATCHES "pictures: the same")
    message(FATAL_ERROR "the window's picture is not the engine's:\n${output}")
  endif()
  if(NOT output MATCHES "\nlongest wait between pumped messages: [0-9]+ ms\n")
    message(FATAL_ERROR "no longest wait between pumped messages:\n${output}")
  endif()
  string(STRIP "${output}" output)
  string(REGEX MATCH "[^\n]*$" last "${output}")
  if(NOT last MATCHES "^window / engine = [0-9]+\\.[0-9][0-9]$")
    message(FATAL_ERROR "last line is not the ratio: '${last}'\n${output}")
  endif()
endfunction()

execute_process(COMMAND "${RENDER}" --window --synthetic 34 --depth 2 --size 160x120 --repeat 1
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "render --window failed (${result}):\n${output}\n${errors}")
endif()
check_window_comparison("${output}")

file(REMOVE "${FOREST}")
execute_process(COMMAND "${RENDER}" --synthetic 20 --depth 2 --forest conifer --save "${FOREST}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT EXISTS "${FOREST}")
  message(FATAL_ERROR "render --forest conifer --save failed (${result}):\n${output}\n${errors}")
endif()
execute_process(COMMAND "${RENDER}" --window "${FOREST}" --size 160x120 --repeat 1
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "render --window on the forest failed (${result}):\n${output}\n${errors}")
endif()
check_window_comparison("${output}")
