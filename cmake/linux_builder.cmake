# build-wrapper for Linux. It carries the x64 and x86 wrappers without
# patches, built in trees of their own (Windows toolchains) and named
# here; without both, this tree has no builder.
set(WRAPPER_X64_EXE "" CACHE FILEPATH "The x64 wrapper.exe without patches, for build-wrapper to carry")
set(WRAPPER_X86_EXE "" CACHE FILEPATH "The x86 wrapper.exe without patches, for build-wrapper to carry")
# A release builder runs on any x86-64 Linux: nothing but the kernel
# beneath it.
option(WRAPPER_STATIC_BUILDER "Link build-wrapper statically" OFF)

if(WRAPPER_X64_EXE AND WRAPPER_X86_EXE)
    set(stubs_source ${CMAKE_BINARY_DIR}/generated/builder_stubs.cpp)
    add_custom_command(
        OUTPUT ${stubs_source}
        COMMAND ${CMAKE_COMMAND} -DX64=${WRAPPER_X64_EXE} -DX86=${WRAPPER_X86_EXE} -DOUT=${stubs_source}
                -P ${CMAKE_SOURCE_DIR}/cmake/embed_stubs.cmake
        DEPENDS ${WRAPPER_X64_EXE} ${WRAPPER_X86_EXE} ${CMAKE_SOURCE_DIR}/cmake/embed_stubs.cmake
        COMMENT "Embedding the wrappers without patches"
    )
    add_executable(build_wrapper
        src/builder/build_wrapper_main_posix.cpp
        src/builder/builder_host_posix.cpp
        ${stubs_source}
    )
    set_target_properties(build_wrapper PROPERTIES OUTPUT_NAME build-wrapper)
    target_link_libraries(build_wrapper PRIVATE wrapper_builder)
    if(WRAPPER_STATIC_BUILDER)
        target_link_options(build_wrapper PRIVATE -static -s)
    endif()
endif()
