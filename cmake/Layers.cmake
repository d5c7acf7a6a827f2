# Each folder of product code is one layer: a static library built from the folder's .cpp files
# (not its subfolders), linked to the layers it may use. What a layer's files may include
# follows from those links: the layer's own folder and every folder below it in the link
# graph. brimlow_check_layers() makes the build refuse anything else, and any circle of
# includes between two modules (a .h with its .cpp).

# A subfolder named in SUBFOLDERS belongs to the layer: its files go into the same library and
# reach what the layer's own files reach (and the other way round).
# brimlow_layer(<library> <folder> [SUBFOLDERS <subfolder>...] [DEPENDS <layer libraries>...]
#               [LINK <other libraries>...])
function(brimlow_layer name folder)
    cmake_parse_arguments(LAYER "" "" "SUBFOLDERS;DEPENDS;LINK" ${ARGN})
    set(folders ${folder})
    foreach(subfolder IN LISTS LAYER_SUBFOLDERS)
        list(APPEND folders ${folder}/${subfolder})
    endforeach()
    set(sources)
    foreach(each IN LISTS folders)
        file(GLOB each_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${each}/*.cpp)
        list(APPEND sources ${each_sources})
    endforeach()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${LAYER_DEPENDS} ${LAYER_LINK})
    brimlow_top_layer("${folders}" NAME ${name} DEPENDS ${LAYER_DEPENDS})
endfunction()

# A folder whose files are checked like a layer's without forming a library of their own
# (the programs' entry points).
# brimlow_top_layer(<folder or list of folders> [NAME <name>] [DEPENDS <layer libraries>...])
function(brimlow_top_layer folder)
    cmake_parse_arguments(LAYER "" "NAME" "DEPENDS" ${ARGN})
    if(NOT LAYER_NAME)
        set(LAYER_NAME ${folder})
    endif()
    set_property(GLOBAL APPEND PROPERTY BRIMLOW_LAYERS ${LAYER_NAME})
    set_property(GLOBAL PROPERTY BRIMLOW_LAYER_FOLDER_${LAYER_NAME} ${folder})
    set_property(GLOBAL PROPERTY BRIMLOW_LAYER_DEPENDS_${LAYER_NAME} ${LAYER_DEPENDS})
endfunction()

# The folders a layer may include from: its own and those of every layer below it.
function(brimlow_layer_reach name out)
    set(reach)
    set(pending ${name})
    while(pending)
        list(POP_FRONT pending layer)
        if(layer IN_LIST reach)
            continue()
        endif()
        list(APPEND reach ${layer})
        get_property(depends GLOBAL PROPERTY BRIMLOW_LAYER_DEPENDS_${layer})
        list(APPEND pending ${depends})
    endwhile()
    set(folders)
    foreach(layer IN LISTS reach)
        get_property(folder GLOBAL PROPERTY BRIMLOW_LAYER_FOLDER_${layer})
        list(APPEND folders ${folder})
    endforeach()
    set(${out} ${folders} PARENT_SCOPE)
endfunction()

# Writes the layers and their reach to the build tree and checks every file of every layer
# before any layer library is compiled, and again whenever a file changes.
function(brimlow_check_layers)
    get_property(layers GLOBAL PROPERTY BRIMLOW_LAYERS)
    set(table "")
    set(sources)
    foreach(layer IN LISTS layers)
        get_property(folders GLOBAL PROPERTY BRIMLOW_LAYER_FOLDER_${layer})
        brimlow_layer_reach(${layer} reach)
        list(JOIN reach "," reach)
        foreach(folder IN LISTS folders)
            string(APPEND table "${folder}:${reach}\n")
            file(GLOB files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h
                 ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
            list(APPEND sources ${files})
        endforeach()
    endforeach()
    set(table_file ${CMAKE_BINARY_DIR}/brimlow-layers.txt)
    file(WRITE ${table_file} "${table}")
    set(stamp ${CMAKE_BINARY_DIR}/brimlow-layers.checked)
    add_custom_command(
        OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DLAYERS=${table_file}
                -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
        COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
        DEPENDS ${sources} ${table_file} ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
        COMMENT "Checking the includes against the layers"
        VERBATIM)
    add_custom_target(brimlow_layers DEPENDS ${stamp})
    foreach(layer IN LISTS layers)
        if(TARGET ${layer})
            add_dependencies(${layer} brimlow_layers)
        endif()
    endforeach()
endfunction()
