# The DLL search of the shipped executables: nothing from the executable's
# own folder or the current folder. src/shared/dll_search_win.cpp restricts
# the search at run time and carries the load configuration for the imports
# the loader resolves before the entry point; wrapper_restrict_dll_search(TARGET) links
# it and makes the image's load configuration entry point at it.

add_library(wrapper_dll_search STATIC ${CMAKE_SOURCE_DIR}/src/shared/dll_search_win.cpp)
target_include_directories(wrapper_dll_search PUBLIC ${CMAKE_SOURCE_DIR}/src)

if(MINGW)
    # GNU ld leaves the load configuration entry empty: point_load_config,
    # built for the build machine, sets it after each link from the map file.
    find_program(WRAPPER_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
    set(WRAPPER_POINT_LOAD_CONFIG
        ${CMAKE_BINARY_DIR}/host-tools/point_load_config${CMAKE_HOST_EXECUTABLE_SUFFIX})
    # The builders' own header reader, and their checksum: the one the wrappers get.
    set(point_load_config_sources ${CMAKE_SOURCE_DIR}/cmake/tools/point_load_config.cpp
        ${CMAKE_SOURCE_DIR}/src/builder/pe_checksum.cpp ${CMAKE_SOURCE_DIR}/src/builder/pe_headers.cpp)
    add_custom_command(
        OUTPUT ${WRAPPER_POINT_LOAD_CONFIG}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host-tools
        COMMAND ${WRAPPER_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -I ${CMAKE_SOURCE_DIR}/src
            -o ${WRAPPER_POINT_LOAD_CONFIG} ${point_load_config_sources}
        DEPENDS ${point_load_config_sources} ${CMAKE_SOURCE_DIR}/src/builder/pe_checksum.h
            ${CMAKE_SOURCE_DIR}/src/builder/pe_headers.h ${CMAKE_SOURCE_DIR}/src/shared/little_endian.h
        COMMENT "Building point_load_config for the build machine"
        VERBATIM)
    add_custom_target(point_load_config DEPENDS ${WRAPPER_POINT_LOAD_CONFIG})
endif()

function(wrapper_restrict_dll_search target)
    target_link_libraries(${target} PRIVATE wrapper_dll_search)
    if(MINGW)
        set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
        # Only the loader reaches the structure, by name: linked in all the same.
        set(symbol _load_config_used)
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            set(symbol __load_config_used)
        endif()
        target_link_options(${target} PRIVATE -Wl,-Map=${map} -Wl,--undefined=${symbol})
        add_dependencies(${target} point_load_config)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${WRAPPER_POINT_LOAD_CONFIG} $<TARGET_FILE:${target}> ${map}
            VERBATIM)
    elseif(MSVC)
        # link.exe writes the field and the entry itself (Visual Studio 2017 and later).
        target_link_options(${target} PRIVATE /DEPENDENTLOADFLAG:0x800)
    endif()
endfunction()
