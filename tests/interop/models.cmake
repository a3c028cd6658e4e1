# 3DS models against lib3ds's 3dsdump, pictures against netpbm, ImageMagick and PIL.
add_executable(qx_dump3ds "${CMAKE_CURRENT_LIST_DIR}/dump3ds.cpp")
target_link_libraries(qx_dump3ds PRIVATE qx_models)

# The system's Python, which has Debian's PIL (a Python earlier on PATH may not).
find_program(QX_MODELS_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QX_MODELS_PYTHON)
  find_program(QX_MODELS_PYTHON NAMES python3 REQUIRED)
endif()
add_test(NAME interop.models.3ds_vs_lib3ds
  COMMAND ${QX_MODELS_PYTHON} "${CMAKE_CURRENT_LIST_DIR}/models_3ds.py" "$<TARGET_FILE:qx_dump3ds>")
set_tests_properties(interop.models.3ds_vs_lib3ds PROPERTIES LABELS interop
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan.supp:print_suppressions=0:intercept_tls_get_addr=0")

add_executable(qx_dumppicture "${CMAKE_CURRENT_LIST_DIR}/dumppicture.cpp")
target_link_libraries(qx_dumppicture PRIVATE qx_models)
add_test(NAME interop.models.pictures_vs_tools
  COMMAND ${QX_MODELS_PYTHON} "${CMAKE_CURRENT_LIST_DIR}/models_pictures.py" "$<TARGET_FILE:qx_dumppicture>")
set_tests_properties(interop.models.pictures_vs_tools PROPERTIES LABELS interop
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan.supp:print_suppressions=0:intercept_tls_get_addr=0")
