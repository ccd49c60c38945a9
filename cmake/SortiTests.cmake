# sorti_add_gtests(PREFIX LIBRARY): in the calling folder, all gtest_*.cpp together
# become one GoogleTest program, linked to LIBRARY.
function(sorti_add_gtests prefix library)
  file(GLOB g_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gtest_*.cpp)
  if(g_tests)
    if(NOT TARGET GTest::gtest)
      find_package(GTest REQUIRED)
    endif()
    add_executable(${prefix}_gtests ${g_tests} ${PROJECT_SOURCE_DIR}/tags/tests/TestUtil.cpp)
    target_include_directories(${prefix}_gtests PRIVATE ${PROJECT_SOURCE_DIR}/tags/tests)
    target_link_libraries(${prefix}_gtests PRIVATE ${library} GTest::gtest GTest::gtest_main)
    include(GoogleTest)
    gtest_discover_tests(${prefix}_gtests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
  endif()
endfunction()

# sorti_add_tests(PREFIX LIBRARY [LINUX_ONLY NAME...]): in the calling folder, every tst_*.cpp becomes one
# Qt Test program (with the shared fixture of tests/qt and the byte builders on its include path), and the
# gtest_*.cpp one GoogleTest program, linked to LIBRARY. The LINUX_ONLY ones are left out of a Windows build.
function(sorti_add_tests prefix library)
  cmake_parse_arguments(arg "" "" "LINUX_ONLY" ${ARGN})
  file(GLOB qt_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  if(WIN32)
    foreach(name ${arg_LINUX_ONLY})
      list(REMOVE_ITEM qt_tests ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
    endforeach()
  endif()
  foreach(src ${qt_tests})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${prefix}_${name} ${src})
    target_link_libraries(${prefix}_${name} PRIVATE ${library} Qt6::Test)
    target_include_directories(${prefix}_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/qt ${PROJECT_SOURCE_DIR}/tests/common)
    if(NOT WIN32)
      add_test(NAME ${prefix}_${name} COMMAND ${prefix}_${name})
      set_tests_properties(${prefix}_${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    else()
      # wine's Recycle Bin is the Linux home trash: a home of the test's own. Qt Test
      # writes nothing to a Linux pipe under wine, so its log goes through a file.
      set(home ${CMAKE_BINARY_DIR}/home/${prefix}_${name})
      add_test(NAME ${prefix}_${name} COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${prefix}_${name}>
               -DLOG=${home}.log "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -P ${PROJECT_SOURCE_DIR}/cmake/RunQtTest.cmake)
      # The registry of the prefix is one for all: one program at a time.
      set_tests_properties(${prefix}_${name} PROPERTIES RESOURCE_LOCK wine-registry ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_DATA_HOME=${home}/share;SORTI_TEST_TRASH=Z:${home}/share/Trash")
    endif()
  endforeach()

  sorti_add_gtests(${prefix} ${library})
endfunction()
