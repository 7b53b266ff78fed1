# Module map: each module is a folder of framework/ whose sources form one
# library, plus the folders of tests/, fuzz/ and bench/ that mirror it.
#   vaxo_module(<name> <library> [SUPPORT <support modules>...])
# Support modules name tests/<module>/support folders whose sources are
# shared by the tests, fuzz targets and benchmarks of this module.

set(VAXO_MODULES "" CACHE INTERNAL "")

# A library from every .cpp of the given folders; header-only until it has one. Its headers
# need C++17 of whatever program includes them.
function(vaxo_library name)
    cmake_parse_arguments(L "" "" "DIRS;LINK" ${ARGN})
    set(srcs)
    foreach(d ${L_DIRS})
        file(GLOB s CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${d}/*.cpp ${PROJECT_SOURCE_DIR}/${d}/*.c)
        list(APPEND srcs ${s})
    endforeach()
    if(srcs)
        add_library(${name} STATIC ${srcs})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/framework)
        target_link_libraries(${name} PUBLIC ${L_LINK})
        target_compile_features(${name} PUBLIC cxx_std_17)
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/framework)
        target_link_libraries(${name} INTERFACE ${L_LINK})
        target_compile_features(${name} INTERFACE cxx_std_17)
    endif()
endfunction()

# The support library of tests/<module>/support, if that folder has sources.
function(vaxo_support_target module out)
    string(REPLACE "/" "_" id ${module})
    set(tgt vaxo_test_${id}_support)
    if(NOT TARGET ${tgt})
        file(GLOB s CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${module}/support/*.cpp)
        if(s)
            add_library(${tgt} STATIC ${s})
            target_include_directories(${tgt} PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/framework)
            target_link_libraries(${tgt} PUBLIC ${VAXO_LIB_${id}})
        else()
            add_library(${tgt} INTERFACE)
            target_include_directories(${tgt} INTERFACE ${PROJECT_SOURCE_DIR}/tests)
        endif()
    endif()
    set(${out} ${tgt} PARENT_SCOPE)
endfunction()

function(vaxo_module name lib)
    cmake_parse_arguments(M "" "" "SUPPORT" ${ARGN})
    string(REPLACE "/" "_" id ${name})
    set(VAXO_LIB_${id} ${lib} CACHE INTERNAL "")
    set(VAXO_SUPPORT_${id} ${M_SUPPORT} CACHE INTERNAL "")
    set(VAXO_MODULES ${VAXO_MODULES} ${name} CACHE INTERNAL "")
endfunction()

# Libraries a test, fuzz target or benchmark of <module> links.
function(vaxo_module_libs module out)
    string(REPLACE "/" "_" id ${module})
    set(libs ${VAXO_LIB_${id}})
    foreach(s ${VAXO_SUPPORT_${id}})
        vaxo_support_target(${s} t)
        list(APPEND libs ${t})
    endforeach()
    set(${out} ${libs} PARENT_SCOPE)
endfunction()
