# Every library is built twice: plainly for the programs and benchmarks, and
# with AddressSanitizer and UndefinedBehaviorSanitizer (suffix _san) for the
# tests, so one build tree serves ./run and ./test without reconfiguring.

set(LG_WARNINGS -Wall -Wextra -Wpedantic)
set(LG_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)

function(lg_apply_flavor target flavor)
    target_compile_options(${target} PRIVATE ${LG_WARNINGS})
    if(flavor STREQUAL "san")
        target_compile_options(${target} PRIVATE ${LG_SANITIZE_FLAGS})
        target_link_options(${target} PRIVATE ${LG_SANITIZE_FLAGS})
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/SanitizerDefaults.cpp)
        endif()
    endif()
endfunction()

# lg_add_library(name SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...] [LG_DEPS ...])
# LG_DEPS name project libraries; the sanitized flavor links their _san twins.
function(lg_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS;LG_DEPS" ${ARGN})
    foreach(flavor plain san)
        if(flavor STREQUAL "plain")
            set(target ${name})
            set(deps ${ARG_LG_DEPS})
        else()
            set(target ${name}_san)
            list(TRANSFORM ARG_LG_DEPS APPEND _san OUTPUT_VARIABLE deps)
        endif()
        add_library(${target} STATIC ${ARG_SOURCES})
        target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${target} PUBLIC ${deps} ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
        lg_apply_flavor(${target} ${flavor})
    endforeach()
endfunction()

# lg_add_program(name SOURCES ... LG_DEPS ...): the program in build/bin, and
# its sanitized twin in build/tests/bin for the tests that run it.
function(lg_add_program name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LG_DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LG_DEPS} ${ARG_LIBS})
    lg_apply_flavor(${name} plain)
    if(LG_BUILD_TESTS)
        list(TRANSFORM ARG_LG_DEPS APPEND _san OUTPUT_VARIABLE deps)
        add_executable(${name}_san ${ARG_SOURCES})
        target_link_libraries(${name}_san PRIVATE ${deps} ${ARG_LIBS})
        lg_apply_flavor(${name}_san san)
        set_target_properties(${name}_san PROPERTIES
            OUTPUT_NAME ${name} RUNTIME_OUTPUT_DIRECTORY ${LG_TEST_BIN_DIR})
    endif()
endfunction()
