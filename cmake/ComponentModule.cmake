# The component modules: the libcurl- and libldap-backed components, built as shared modules
# that the program loads the first time a handler needs them. Installed in a folder of the
# program's own under the library folder; in the build tree at the same place below the build
# folder, where a program run from the build tree looks for them.
set(ORVANE_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/orvane)
set(ORVANE_MODULE_BUILD_DIR ${PROJECT_BINARY_DIR}/${ORVANE_MODULE_INSTALL_DIR})

# orvane_component_module(TARGET FILE_NAME): TARGET, a MODULE library, becomes FILE_NAME.so
# there, exporting only what its own sources mark for export (its entry point).
function(orvane_component_module target file_name)
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME ${file_name}
        LIBRARY_OUTPUT_DIRECTORY ${ORVANE_MODULE_BUILD_DIR}
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    # What the static libraries bring in stays inside the module as well.
    target_link_options(${target} PRIVATE LINKER:--exclude-libs,ALL)
    # Every library the module needs is named in it, so a missing one fails the load, not a
    # call later. (Sanitizer runtimes are the program's, left undefined in the module.)
    if(NOT ORVANE_SANITIZE AND NOT ORVANE_BUILD_FUZZ)
        target_link_options(${target} PRIVATE LINKER:-z,defs)
    endif()
    install(TARGETS ${target} LIBRARY DESTINATION ${ORVANE_MODULE_INSTALL_DIR})
endfunction()
