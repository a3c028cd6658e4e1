# 3DS models against lib3ds's 3dsdump, pictures against netpbm, ImageMagick and PIL.
add_executable(qx_dump3ds "${CMAKE_CURRENT_LIST_DIR}/dump3ds.cpp")
target_link_libraries(qx_dump3ds PRIVATE qx_models)

find_package(Python3 COMPONENTS Interpreter)
add_test(NAME interop.models.3ds_vs_lib3ds
  COMMAND ${Python3_EXECUTABLE} "${CMAKE_CURRENT_LIST_DIR}/models_3ds.py" "$<TARGET_FILE:qx_dump3ds>")
set_tests_properties(interop.models.3ds_vs_lib3ds PROPERTIES LABELS interop
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan.supp:print_suppressions=0")
