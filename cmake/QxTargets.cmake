# One static library per source folder: every .cpp in the folder (not its subfolders) is compiled.
# qx_library(NAME DEPS...)
function(qx_library name)
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  file(GLOB hdrs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  if(NOT srcs)
    # A folder still waiting for its first unit: a placeholder keeps the target linkable.
    set(srcs "${PROJECT_SOURCE_DIR}/cmake/empty.cpp")
  endif()
  add_library(${name} STATIC ${srcs} ${hdrs})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# One test program per test folder: every *_test.cpp in it, registered with CTest.
# qx_test_dir(NAME LABEL DEPS...)
function(qx_test_dir name label)
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp")
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests" "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PRIVATE ${ARGN} qx_testsupport GTest::gtest GTest::gmock)
  # Only one variable survives gtest_discover_tests' property list, so the fixture folder and the
  # leak checker's options are compiled into the test main instead. Widget tests run on Qt's
  # offscreen platform; a folder whose tests need real OpenGL sets QX_TEST_QPA to "xcb" (the test
  # script provides an X server), and its program keeps the GL driver mapped for the leak check.
  if(NOT DEFINED QX_TEST_QPA)
    set(QX_TEST_QPA offscreen)
  endif()
  if(QX_TEST_QPA STREQUAL "xcb")
    target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/support/DriverResidency.cpp")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${label}"
      ENVIRONMENT "QT_QPA_PLATFORM=${QX_TEST_QPA}"
    DISCOVERY_TIMEOUT 120)
endfunction()

# The program's folders (Overlays, Plants, Models, Clouds, Templates, plugin) made beside a program
# in `folder` and filled from data/ whenever the program is built and data/ has changed.
# qx_program_folders(TARGET FOLDER)
function(qx_program_folders target folder)
  file(GLOB_RECURSE data_files CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/data/*")
  set(script "${PROJECT_SOURCE_DIR}/cmake/CopyProgramFolders.cmake")
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}_folders.stamp")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND ${CMAKE_COMMAND} "-DSOURCE=${PROJECT_SOURCE_DIR}/data" "-DDESTINATION=${folder}" -P "${script}"
    COMMAND ${CMAKE_COMMAND} -E touch "${stamp}"
    DEPENDS ${data_files} "${script}"
    COMMENT "Program folders beside ${target}"
    VERBATIM)
  add_custom_target(${target}_folders DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_folders)
endfunction()
