# The program's libraries stand in layers; each may link only libraries of a lower layer. The
# check reads the link lines CMake really uses, so a stray link fails the configuration at once.
#
# Layer of each library, bottom first. Libraries on one layer may not link each other either.
set(ZORVY_LAYERS
    "zorvy_abi"
    "zorvy_model;zorvy_platform"
    "zorvy_sdk;zorvy_textures"
    "zorvy_capture"
    "zorvy_backend;zorvy_map;zorvy_ui;zorvy_update"
    "zorvy_app"
)

# zorvy_layer_violations(<out-var> <layers> <library=links…>…): the offending links as lines
# "a → b", for a table of each library's direct links (";"-lists joined with ",").
function(zorvy_layer_violations out layers)
    set(problems "")
    set(level 0)
    foreach(layer IN LISTS layers)
        string(REPLACE "," ";" members "${layer}")
        foreach(member IN LISTS members)
            set(level_${member} ${level})
        endforeach()
        math(EXPR level "${level} + 1")
    endforeach()
    foreach(entry IN LISTS ARGN)
        string(REGEX MATCH "^([^=]+)=(.*)$" matched "${entry}")
        set(library "${CMAKE_MATCH_1}")
        string(REPLACE "," ";" links "${CMAKE_MATCH_2}")
        if(NOT DEFINED level_${library})
            list(APPEND problems "${library} has no layer")
            continue()
        endif()
        foreach(link IN LISTS links)
            if(DEFINED level_${link} AND NOT level_${link} LESS level_${library})
                list(APPEND problems "${library} → ${link}")
            endif()
        endforeach()
    endforeach()
    set(${out} "${problems}" PARENT_SCOPE)
endfunction()

# The layers as one list, the libraries of a layer joined with ",".
function(zorvy_joined_layers out)
    set(layers "")
    foreach(layer IN LISTS ZORVY_LAYERS)
        string(REPLACE ";" "," joined "${layer}")
        list(APPEND layers "${joined}")
    endforeach()
    set(${out} "${layers}" PARENT_SCOPE)
endfunction()

# Checks the project's own targets; called once every library is defined.
function(zorvy_check_layers)
    set(table "")
    zorvy_joined_layers(layers)
    foreach(layer IN LISTS ZORVY_LAYERS)
        foreach(library IN LISTS layer)
            if(TARGET ${library})
                get_target_property(links ${library} LINK_LIBRARIES)
                if(NOT links)
                    set(links "")
                endif()
                string(REPLACE ";" "," links "${links}")
                list(APPEND table "${library}=${links}")
            endif()
        endforeach()
    endforeach()
    zorvy_layer_violations(problems "${layers}" ${table})
    if(problems)
        string(REPLACE ";" "\n  " text "${problems}")
        message(FATAL_ERROR "Libraries linked against their layers:\n  ${text}")
    endif()
    string(REPLACE ";" "\n" text "${table}")
    file(WRITE ${CMAKE_BINARY_DIR}/layers.txt "${text}\n")
endfunction()

# Script mode (the test): cmake -DTABLE=<file> -P ZorvyLayers.cmake checks a table of
# "library=links" lines and fails on any link that goes up or sideways.
if(CMAKE_SCRIPT_MODE_FILE AND DEFINED TABLE)
    file(STRINGS "${TABLE}" table)
    zorvy_joined_layers(layers)
    zorvy_layer_violations(problems "${layers}" ${table})
    if(problems)
        string(REPLACE ";" "\n  " text "${problems}")
        message(FATAL_ERROR "Libraries linked against their layers:\n  ${text}")
    endif()
    list(LENGTH table count)
    message(STATUS "${count} libraries stand in layers")
endif()
