# How every target of the project is built. One flavour per build tree: the
# presets choose plain, sanitized (LG_SANITIZE) or fuzzing (LG_FUZZ).

add_compile_options(-Wall -Wextra -Wpedantic)
if(LG_SANITIZE)
    set(LG_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
elseif(LG_FUZZ)
    set(LG_SANITIZE_FLAGS -fsanitize=fuzzer-no-link,address,undefined
        -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
endif()
add_compile_options(${LG_SANITIZE_FLAGS})
add_link_options(${LG_SANITIZE_FLAGS})

# The sanitizer options are compiled into each sanitized program, so they
# hold however it is started (by ctest, by a test, by hand). A program that
# shows Qt's windows (QT_WINDOWS) records whole stacks, through libraries
# built without frame pointers, so that Qt's own leaks are known by name.
function(lg_sanitizer_defaults target)
    cmake_parse_arguments(ARG "QT_WINDOWS" "" "" ${ARGN})
    if(LG_SANITIZE OR LG_FUZZ)
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/SanitizerDefaults.cpp)
        if(ARG_QT_WINDOWS)
            target_compile_definitions(${target} PRIVATE LG_WHOLE_STACKS)
        endif()
    endif()
endfunction()

# lg_add_library(name SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
function(lg_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# lg_add_program(name [QT_WINDOWS] SOURCES ... LIBS ...): a program in <build>/bin.
function(lg_add_program name)
    cmake_parse_arguments(ARG "QT_WINDOWS" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    if(ARG_QT_WINDOWS)
        lg_sanitizer_defaults(${name} QT_WINDOWS)
    else()
        lg_sanitizer_defaults(${name})
    endif()
endfunction()
