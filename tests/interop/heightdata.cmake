# Height-data import and export against GDAL, netpbm and ezdxf.
# The distribution's Python carries the GDAL and ezdxf bindings.
find_program(QX_SYSTEM_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QX_SYSTEM_PYTHON)
  find_program(QX_SYSTEM_PYTHON NAMES python3)
endif()
add_executable(heightdata_tool "${CMAKE_CURRENT_LIST_DIR}/heightdata_tool.cpp")
target_link_libraries(heightdata_tool PRIVATE qx_heightdata qx_project qx_platform)

foreach(case usgs_geographic usgs_utm usgs_square terragen xyz pgm bmp dxf ntf vistapro)
  add_test(NAME interop_heightdata_${case}
    COMMAND ${QX_SYSTEM_PYTHON} "${CMAKE_CURRENT_LIST_DIR}/heightdata_interop.py" ${case} $<TARGET_FILE:heightdata_tool>)
  set_tests_properties(interop_heightdata_${case} PROPERTIES LABELS interop
    ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan.supp:print_suppressions=0:intercept_tls_get_addr=0;QT_QPA_PLATFORM=offscreen")
endforeach()
