# The Windows executable and its platform code.
enable_language(RC)

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

include(cmake/dll_search.cmake)

if(MINGW)
    # Static runtime: the executable must start on a clean Windows, which has
    # no libstdc++ or libwinpthread.
    set(WRAPPER_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
    # No link time in the header: the same commit gives the same bytes, so
    # a release's SHA256SUMS can be made again by anyone.
    set(WRAPPER_SAME_BYTES -Wl,--no-insert-timestamp)
endif()

# Platform code. It reaches the installer (src/install/msi_api.h and, for
# waiting while it is busy, src/install/installer_busy.h), the
# message box (src/messages/message_box_win.h), the embedded patches
# (src/payload/embedded_patch.h), the source of temporary names
# (src/payload/temp_names.h), the flush of a written file
# (src/shared/flush_file_win.h) and the event log
# (src/shared/event_log_api_win.h) through seams implemented separately:
# wrapper_externals in the product, scripted fakes in the tests.
add_library(wrapper_platform STATIC
    src/app/command_line_win.cpp
    src/app/install_run_win.cpp
    src/app/receipt_win.cpp
    src/app/run_event_win.cpp
    src/app/uninstall_run_win.cpp
    src/app/whatif_win.cpp
    src/diagnostics/os_description_win.cpp
    src/diagnostics/report_win.cpp
    src/install/cache_repair_win.cpp
    src/install/configure_win.cpp
    src/install/decision_win.cpp
    src/install/failure_hints_win.cpp
    src/install/installed_targets_win.cpp
    src/install/installer_wait_win.cpp
    src/install/patch_removal_win.cpp
    src/install/rollback_win.cpp
    src/messages/catalogue_win.cpp
    src/messages/outcome_box_win.cpp
    src/payload/extract_win.cpp
    src/payload/summary_win.cpp
    src/payload/temp_folder_win.cpp
    src/shared/process_state_win.cpp
    src/shared/replace_file_win.cpp
    src/shared/run_log_win.cpp
)
target_link_libraries(wrapper_platform PUBLIC wrapper_core advapi32)

add_library(wrapper_externals STATIC
    src/install/installer_busy_win.cpp
    src/install/msi_api_win.cpp
    src/messages/message_box_win.cpp
    src/payload/embedded_patch_win.cpp
    src/payload/temp_names_win.cpp
    src/shared/event_log_api_win.cpp
    src/shared/flush_file_win.cpp
)
target_link_libraries(wrapper_externals PUBLIC wrapper_core wrapper_dll_search advapi32)

set(WRAPPER_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(WRAPPER_ICON ${WRAPPER_GENERATED_DIR}/wrapper.ico)
add_custom_command(
    OUTPUT ${WRAPPER_ICON}
    COMMAND ${CMAKE_SOURCE_DIR}/res/make-icon.sh ${WRAPPER_ICON}
    DEPENDS ${CMAKE_SOURCE_DIR}/res/make-icon.sh
    COMMENT "Drawing the wrapper icon"
)
add_custom_target(wrapper_icon DEPENDS ${WRAPPER_ICON})

# build-wrapper rewrites this file (and the slot files beside it) for every
# wrapper it builds; a plain build carries no patch.
set(WRAPPER_SLOTS_DIR ${CMAKE_BINARY_DIR}/patch-slots)
set(WRAPPER_SLOTS_RC ${WRAPPER_SLOTS_DIR}/patch_slots.rc)
if(NOT EXISTS ${WRAPPER_SLOTS_RC})
    file(WRITE ${WRAPPER_SLOTS_RC} "")
endif()

# Links a GUI executable from a main source and a resource script, with the
# settings every wrapper-like executable needs.
function(wrapper_add_gui_executable target)
    add_executable(${target} WIN32 ${ARGN})
    target_link_libraries(${target} PRIVATE wrapper_platform wrapper_externals)
    if(MINGW)
        target_link_options(${target} PRIVATE -municode ${WRAPPER_STATIC_RUNTIME} ${WRAPPER_SAME_BYTES}
            # Page-aligned sections let Wine map large embedded patches
            # instead of reading the whole image into memory at start.
            -Wl,--file-alignment,4096
            $<$<CONFIG:Release,MinSizeRel>:-s>)
    elseif(MSVC)
        target_link_options(${target} PRIVATE /FILEALIGN:4096)
    endif()
endfunction()

file(GLOB WRAPPER_RESOURCE_FILES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/res/*.h ${CMAKE_SOURCE_DIR}/res/*.rc ${CMAKE_SOURCE_DIR}/res/*.manifest
    ${CMAKE_SOURCE_DIR}/res/lang/*.rc)

wrapper_add_gui_executable(wrapper src/app/main_win.cpp res/wrapper.rc)
add_dependencies(wrapper wrapper_icon)
target_include_directories(wrapper PRIVATE res ${WRAPPER_GENERATED_DIR} ${WRAPPER_SLOTS_DIR})
set_source_files_properties(res/wrapper.rc PROPERTIES
    OBJECT_DEPENDS "${WRAPPER_ICON};${WRAPPER_SLOTS_RC};${WRAPPER_RESOURCE_FILES}")

# build-wrapper.exe, the builder for 64-bit Windows: it carries this tree's
# wrapper and the x86 tree's (WRAPPER_X86_EXE; ./test and ./release build
# the x86 tree first and pass its wrapper.exe here), both without patches.
set(WRAPPER_X86_EXE "" CACHE FILEPATH "The x86 tree's wrapper.exe, for build-wrapper.exe to carry")
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND WRAPPER_X86_EXE)
    file(GENERATE OUTPUT ${WRAPPER_GENERATED_DIR}/builder_wrappers.rc
        CONTENT "WRAPPER_X64 RCDATA \"$<TARGET_FILE:wrapper>\"\nWRAPPER_X86 RCDATA \"${WRAPPER_X86_EXE}\"\n")
    add_executable(build_wrapper
        src/builder/build_wrapper_main_win.cpp
        src/builder/builder_host_win.cpp
        src/builder/console_text_win.cpp
        res/builder.rc
    )
    set_target_properties(build_wrapper PROPERTIES OUTPUT_NAME build-wrapper)
    target_link_libraries(build_wrapper PRIVATE wrapper_builder)
    target_include_directories(build_wrapper PRIVATE res ${WRAPPER_GENERATED_DIR})
    if(MINGW)
        target_link_options(build_wrapper PRIVATE -municode ${WRAPPER_STATIC_RUNTIME} ${WRAPPER_SAME_BYTES}
            $<$<CONFIG:Release,MinSizeRel>:-s>)
    endif()
    add_dependencies(build_wrapper wrapper)
    set_source_files_properties(res/builder.rc PROPERTIES
        OBJECT_DEPENDS "${WRAPPER_X86_EXE};${CMAKE_BINARY_DIR}/wrapper.exe;${CMAKE_SOURCE_DIR}/res/builder.manifest")
endif()

# --- the DLL search of the shipped executables (cmake/dll_search.cmake) --------
wrapper_restrict_dll_search(wrapper)
if(TARGET build_wrapper)
    wrapper_restrict_dll_search(build_wrapper)
endif()
