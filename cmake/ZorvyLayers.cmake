# The program's libraries stand in layers; each may link only libraries of a lower layer. The
# check reads the link lines CMake really uses, so a stray link fails the configuration at once.
#
# ZORVY_LAYERS: one entry per layer, bottom first, the libraries of a layer joined with ",".
# ZORVY_LAYERS_SIDEWAYS: the links allowed between two libraries of one layer, as "a>b".
# ZORVY_LAYERS_OUTSIDE: libraries of the project that stand outside the layers (test support);
#   they may link any library, and no library of a layer may link them.
# Every static or interface library "zorvy_*" the project defines must be named in one of them.
if(NOT DEFINED ZORVY_LAYERS)
    set(ZORVY_LAYERS
        "zorvy_abi"
        "zorvy_model,zorvy_platform"
        "zorvy_sdk,zorvy_textures"
        "zorvy_capture"
        "zorvy_backend,zorvy_map,zorvy_record,zorvy_ui,zorvy_update"
        "zorvy_app"
    )
    set(ZORVY_LAYERS_SIDEWAYS "")
    set(ZORVY_LAYERS_OUTSIDE zorvy_testsupport zorvy_update_testsupport)
endif()

# The project's own library targets named zorvy_*, from every directory below <dir>. What
# qt_add_qml_module generates for a library (its plug-in, its "_tooling" target) goes with that
# library and is skipped.
function(zorvy_project_libraries out dir)
    set(found "")
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        get_target_property(plugin ${target} QT_PLUGIN_CLASS_NAME)
        set(generated ${plugin})
        if(target MATCHES "^(.+)_tooling$")
            if(TARGET ${CMAKE_MATCH_1})
                get_target_property(generated ${CMAKE_MATCH_1} QT_QML_MODULE_URI)
            endif()
        endif()
        if(target MATCHES "^zorvy_" AND type MATCHES "^(STATIC|INTERFACE)_LIBRARY$"
           AND NOT generated)
            list(APPEND found ${target})
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        zorvy_project_libraries(below ${subdir})
        list(APPEND found ${below})
    endforeach()
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The direct links of a library, generator expressions such as $<LINK_ONLY:x> unwrapped.
function(zorvy_direct_links out library)
    get_target_property(type ${library} TYPE)
    set(links "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(links ${library} LINK_LIBRARIES)
    endif()
    get_target_property(interface ${library} INTERFACE_LINK_LIBRARIES)
    set(all "")
    foreach(link IN LISTS links interface)
        if(link MATCHES "NOTFOUND$")
            continue()
        endif()
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
        string(REGEX REPLACE "^\\$<BUILD_INTERFACE:(.*)>$" "\\1" link "${link}")
        list(APPEND all "${link}")
    endforeach()
    list(REMOVE_DUPLICATES all)
    set(${out} "${all}" PARENT_SCOPE)
endfunction()

# Checks every library of the project; called once every library is defined. Fails the
# configuration with one line per fault.
function(zorvy_check_layers)
    set(problems "")
    set(level 0)
    set(layered "")
    foreach(layer IN LISTS ZORVY_LAYERS)
        string(REPLACE "," ";" members "${layer}")
        foreach(member IN LISTS members)
            set(level_${member} ${level})
            list(APPEND layered ${member})
            if(NOT TARGET ${member})
                list(APPEND problems "${member} is in the layer list but no library has that name")
            endif()
        endforeach()
        math(EXPR level "${level} + 1")
    endforeach()
    foreach(outside IN LISTS ZORVY_LAYERS_OUTSIDE)
        set(level_${outside} outside)
    endforeach()

    zorvy_project_libraries(libraries ${CMAKE_SOURCE_DIR})
    foreach(library IN LISTS libraries)
        if(NOT DEFINED level_${library})
            list(APPEND problems "${library} has no layer (add it to ZORVY_LAYERS)")
        endif()
    endforeach()

    foreach(library IN LISTS layered)
        if(NOT TARGET ${library})
            continue()
        endif()
        zorvy_direct_links(links ${library})
        foreach(link IN LISTS links)
            if(NOT DEFINED level_${link})
                continue()
            elseif(level_${link} STREQUAL "outside")
                list(APPEND problems "${library} → ${link}: a layer links a library outside the layers")
            elseif(level_${link} GREATER level_${library})
                list(APPEND problems "${library} → ${link}: links a higher layer")
            elseif(level_${link} EQUAL level_${library} AND NOT "${library}>${link}" IN_LIST ZORVY_LAYERS_SIDEWAYS)
                list(APPEND problems "${library} → ${link}: links its own layer")
            endif()
        endforeach()
    endforeach()

    if(problems)
        string(REPLACE ";" "\n  " text "${problems}")
        message(FATAL_ERROR "Libraries out of their layers:\n  ${text}")
    endif()
endfunction()
