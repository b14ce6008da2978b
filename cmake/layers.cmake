# Layers: one folder, one library, and the build keeps the arrows between them.
#
# bco_layer(NAME folder-library SOURCES ... [LINKS layer-or-library ...]) makes the folder's static library
# (position-independent, so that the shared libraries and the module take it in) from SOURCES, linked to the
# layers and libraries it stands on, and a probe of it: a shared object made of the whole library and only
# what it links, which may leave no symbol undefined. A folder whose code calls into a layer it does not link
# (an include that points upward, or sideways into a layer not declared) therefore fails to link its probe,
# and a cycle between two folders needs each to link the other, which CMake refuses for these libraries.
#
# The probes are built with every configuration but the sanitizers' (whose runtime the program brings).
function(bco_layer)
    cmake_parse_arguments(LAYER "" "NAME" "SOURCES;LINKS" ${ARGN})
    add_library(${LAYER_NAME} STATIC ${LAYER_SOURCES})
    set_target_properties(${LAYER_NAME} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_include_directories(${LAYER_NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    if(LAYER_LINKS)
        target_link_libraries(${LAYER_NAME} PUBLIC ${LAYER_LINKS})
    endif()
    bco_target_defaults(${LAYER_NAME})
    if(NOT BCO_SANITIZE)
        add_library(${LAYER_NAME}_probe SHARED ${PROJECT_SOURCE_DIR}/cmake/layer_probe.cpp)
        target_link_libraries(${LAYER_NAME}_probe PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${LAYER_NAME}>")
        target_link_options(${LAYER_NAME}_probe PRIVATE -Wl,--no-undefined)
        set_target_properties(${LAYER_NAME}_probe PROPERTIES LIBRARY_OUTPUT_DIRECTORY
                                                             ${CMAKE_BINARY_DIR}/layer-probes)
    endif()
endfunction()

# bco_link_whole_layers(TARGET LAYERS top ... bottom) links the layers into the shared library TARGET whole, so
# that it holds every object of each (their symbols, their static registrations) and whoever loads it shares
# that one copy. The layers are named from the top down, so that each stands before the layers it links and
# is taken once; their links to one another take the same feature, never a second, plain copy.
function(bco_link_whole_layers target)
    cmake_parse_arguments(WHOLE "" "" "LAYERS" ${ARGN})
    string(JOIN "," layers ${WHOLE_LAYERS})
    target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${layers}>")
    foreach(layer IN LISTS WHOLE_LAYERS)
        set_property(TARGET ${target} PROPERTY LINK_LIBRARY_OVERRIDE_${layer} WHOLE_ARCHIVE)
    endforeach()
endfunction()
