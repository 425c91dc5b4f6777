# Each library sees only its own headers and those of the libraries it links: its folders
# are linked into an include root of its own in the build tree, which it exports. An
# include of a folder it does not link then finds nothing, and the build stops there.
#   norvane_layer(TARGET FOLDER...)   FOLDER relative to the source root, e.g. tango/tables
function(norvane_layer target)
    set(root ${PROJECT_BINARY_DIR}/layers/${target})
    # A link an earlier configuration made and this one does not want goes (the link, never
    # what it points to), so that a build tree keeps no view the sources have dropped.
    file(GLOB_RECURSE entries LIST_DIRECTORIES true ${root}/*)
    foreach(entry IN LISTS entries)
        file(RELATIVE_PATH relative ${root} ${entry})
        if(IS_SYMLINK ${entry} AND NOT relative IN_LIST ARGN)
            file(REMOVE ${entry})
        endif()
    endforeach()
    foreach(folder IN LISTS ARGN)
        get_filename_component(parent ${root}/${folder} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        if(NOT EXISTS ${root}/${folder})
            file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
        endif()
    endforeach()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${root}>)
    else()
        target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
    endif()
endfunction()

# The programs, the plugin and the relay stand together at the top of the build tree, where
# the scripts run them and the panel finds its plugin beside itself, as in the package.
function(norvane_at_top)
    set_target_properties(${ARGN} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
                          LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()
