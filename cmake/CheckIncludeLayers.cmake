# Fails, listing every offending line, when a source file includes a header from a folder
# above its own or beside it. The floors, from the ground up:
#
#   form  <  settings, mail, directory  <  ui, send  <  app  <  bench
#
# A folder may include its own headers and those of the floors below it. tests/ is not
# scanned: a test may include whatever it exercises.
#
#   cmake -DSOURCE_DIR=<tree> -P CheckIncludeLayers.cmake

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "CheckIncludeLayers: set SOURCE_DIR to the tree to check.")
endif()

# clang-format off
set(floor_form      0)
set(floor_settings  1)
set(floor_mail      1)
set(floor_directory 1)
set(floor_ui        2)
set(floor_send      2)
set(floor_app       3)
set(floor_bench     4)
# clang-format on
set(folders form settings mail directory ui send app bench)

# An include names its folder first: "mail/SendAction.h", <ui/MainWindow.h>, "../ui/X.h".
set(include_line "^[ \t]*#[ \t]*include[ \t]*[\"<](\\.\\./)*([A-Za-z_]+)/")

set(offenders "")
set(checked 0)
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        math(EXPR checked "${checked} + 1")
        file(STRINGS "${source}" lines REGEX "${include_line}")
        foreach(line IN LISTS lines)
            string(REGEX MATCH "${include_line}" ignored "${line}")
            set(target "${CMAKE_MATCH_2}")
            # Its own folder, and what is no folder of ours (<curl/curl.h>, "detail/...").
            if(target STREQUAL folder OR NOT DEFINED floor_${target})
                continue()
            endif()
            if(NOT floor_${target} LESS floor_${folder})
                file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
                string(STRIP "${line}" line)
                list(APPEND offenders "  ${shown}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()

if(offenders)
    list(LENGTH offenders count)
    list(JOIN offenders "\n" listed)
    message(NOTICE "Includes that point from a folder to one above it or beside it "
                   "(floors: form < settings, mail, directory < ui, send < app < bench):\n"
                   "${listed}\n${count} offending include(s).")
    message(FATAL_ERROR "The include layers are broken.")
endif()
message(STATUS "${checked} files checked: every include points to the same folder or below.")
