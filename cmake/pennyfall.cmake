# Build conventions shared by every folder.
#
# -ffp-contract=off and no -ffast-math: the engine's float checks, fixed-point
# conversions and golden images depend on exact IEEE single precision.
include(GoogleTest)
enable_testing()

add_compile_options(-Wall -Wextra -ffp-contract=off)
# g++ 12 misreads libstdc++'s own string and vector code once it is inlined at
# -O2 and above (false -Wrestrict, -Warray-bounds and -Wstringop-overflow
# reports); the sanitizer build checks those accesses for real.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict -Wno-array-bounds -Wno-stringop-overflow)
endif()
if(PF_WERROR)
    add_compile_options(-Werror)
endif()
if(PF_SANITIZE)
    # -fsanitize=undefined leaves float-to-integer conversions unchecked; data
    # from files reaches those, so they are checked too.
    add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()
if(PF_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # Coverage feedback needs the readers under test instrumented, not only
    # the fuzz targets themselves.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
include_directories(${CMAKE_SOURCE_DIR})

# Rebuilds in other work trees and build folders reuse objects when ccache is
# there; the build does not need it.
find_program(PF_CCACHE ccache)
if(PF_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(CMAKE_C_COMPILER_LAUNCHER ${PF_CCACHE})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${PF_CCACHE})
endif()

find_package(GTest REQUIRED)
find_package(benchmark QUIET)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(SDL2 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(TREMOR REQUIRED IMPORTED_TARGET vorbisidec)

# Every test runs headless, finds data relative to the build tree and seeds
# its key indexes alike from run to run.
set(PF_TEST_ENV
    PF_KEY_SEED=1
    SDL_VIDEODRIVER=dummy
    SDL_AUDIODRIVER=dummy
    PF_BUILD_DIR=${CMAKE_BINARY_DIR}
    PF_SOURCE_DIR=${CMAKE_SOURCE_DIR})

# pf_subsystem(NAME [DEPS lib...] [TEST_DEPS lib...])
# Library NAME from every .cpp below the calling folder, except tests
# (*_test.cpp), fuzz targets (*_fuzz.cpp) and benchmarks. Each *_test.cpp
# becomes its own test executable, so one broken test file cannot hide others.
function(pf_subsystem name)
    cmake_parse_arguments(PF "" "" "DEPS;TEST_DEPS" ${ARGN})
    file(GLOB_RECURSE all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    set(sources "")
    set(tests "")
    foreach(file IN LISTS all_sources)
        if(file MATCHES "_test\\.cpp$")
            list(APPEND tests ${file})
        elseif(NOT file MATCHES "_fuzz\\.cpp$")
            list(APPEND sources ${file})
        endif()
    endforeach()
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${PF_DEPS})
    pf_tests(${name} ${tests} LIBS ${name} ${PF_TEST_DEPS})
endfunction()

# pf_tests(PREFIX file... LIBS lib...): one GoogleTest executable per file.
function(pf_tests prefix)
    cmake_parse_arguments(PF "" "" "LIBS" ${ARGN})
    foreach(file IN LISTS PF_UNPARSED_ARGUMENTS)
        get_filename_component(stem ${file} NAME_WE)
        set(target ${prefix}_${stem})
        add_executable(${target} ${file})
        target_link_libraries(${target} PRIVATE ${PF_LIBS} GTest::gmock GTest::gtest_main)
        # The environment goes in through env(1): gtest_discover_tests keeps
        # only the first entry of an ENVIRONMENT list.
        set_target_properties(${target} PROPERTIES
            CROSSCOMPILING_EMULATOR "/usr/bin/env;${PF_TEST_ENV}")
        gtest_discover_tests(${target}
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 60)
    endforeach()
endfunction()

# pf_fuzzer(NAME SOURCE LIBS lib...): a libFuzzer target, only with PF_FUZZ and clang.
function(pf_fuzzer name source)
    cmake_parse_arguments(PF "" "" "LIBS" ${ARGN})
    if(PF_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        add_executable(${name} ${source})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE ${PF_LIBS})
    endif()
endfunction()
