# How every source folder lists its files and builds its library, so each folder's CMakeLists.txt
# only says what it links.

# Sets <var> to the folder's .cpp files, less the file names given after EXCLUDE.
function(quovo_folder_sources var)
    cmake_parse_arguments(arg "" "" "EXCLUDE" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(name IN LISTS arg_EXCLUDE)
        list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${name})
    endforeach()
    set(${var} ${sources} PARENT_SCOPE)
endfunction()

# A static library of the folder's sources (less EXCLUDE) that links LINK publicly; a folder
# without sources yet builds nothing.
function(quovo_folder_library name)
    cmake_parse_arguments(arg "" "" "EXCLUDE;LINK" ${ARGN})
    quovo_folder_sources(sources EXCLUDE ${arg_EXCLUDE})
    if(NOT sources)
        return()
    endif()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${arg_LINK})
endfunction()

# The same for a folder of windows: Qt Widgets and the meta-object compiler.
function(quovo_widget_library name)
    cmake_parse_arguments(arg "" "" "EXCLUDE;LINK" ${ARGN})
    quovo_folder_sources(sources EXCLUDE ${arg_EXCLUDE})
    if(NOT sources)
        return()
    endif()
    find_package(Qt6 REQUIRED COMPONENTS Widgets)
    quovo_folder_library(${name} EXCLUDE ${arg_EXCLUDE} LINK ${arg_LINK} Qt6::Widgets)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
endfunction()
