# dBase side tables read back with dbfread (the distribution's Python carries it).
find_program(QX_SYSTEM_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QX_SYSTEM_PYTHON)
  find_program(QX_SYSTEM_PYTHON NAMES python3)
endif()
add_executable(dbf_tool "${CMAKE_CURRENT_LIST_DIR}/dbf_tool.cpp")
target_link_libraries(dbf_tool PRIVATE qx_project qx_platform)
add_test(NAME interop_dbf_side_tables
  COMMAND ${QX_SYSTEM_PYTHON} "${CMAKE_CURRENT_LIST_DIR}/dbf_interop.py" $<TARGET_FILE:dbf_tool>)
set_tests_properties(interop_dbf_side_tables PROPERTIES LABELS interop
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan.supp:print_suppressions=0:intercept_tls_get_addr=0;QT_QPA_PLATFORM=offscreen")
