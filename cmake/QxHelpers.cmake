# Every subsystem folder is globbed, so adding a file needs no edit here.
# Files ending in _main.cpp are program entry points and stay out of libraries.
function(qx_sources out)
    set(all)
    foreach(dir IN LISTS ARGN)
        file(GLOB_RECURSE found CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
        list(APPEND all ${found})
    endforeach()
    list(FILTER all EXCLUDE REGEX "_main\\.cpp$")
    set(${out} ${all} PARENT_SCOPE)
endfunction()

# One test executable per test folder; each links libraries, never sources twice.
function(qx_test_folder name)
    cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
    if(NOT found)
        return()
    endif()
    string(REPLACE "/" "_" target test_${name})
    add_executable(${target} ${found})
    target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/test_data_home.cpp)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/cmake/test_data_home.cpp PROPERTY
                 COMPILE_DEFINITIONS QX_TEST_DATA_HOME="${CMAKE_BINARY_DIR}/test-data-home")
    if(QX_SANITIZE)
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/lsan_default_options.cpp)
        set_property(SOURCE ${PROJECT_SOURCE_DIR}/cmake/lsan_default_options.cpp PROPERTY
                     COMPILE_DEFINITIONS QX_LSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/cmake/lsan.supp")
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         ENVIRONMENT_MODIFICATION "QX_BUILD_DIR=set:${CMAKE_BINARY_DIR}")
endfunction()
