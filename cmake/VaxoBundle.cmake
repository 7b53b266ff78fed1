# The one helper a program on the framework needs besides the library targets
# (vaxo_app, vaxo_graphics, vaxo_imagelib, vaxo_common). It is defined as soon as the
# framework's folder has been added with add_subdirectory(), so the program's own
# CMakeLists.txt, added after it, can call it.
#
#   vaxo_bundle(<target> <Name> [RESOURCES <folder>...] [MAKE_RESOURCES <tool target>])
#
# Lays the executable <target> out as the application bundle the framework expects, in
# the current binary folder: the program in <Name>.app/Contents/MacOS, what it reads in
# <Name>.app/Contents/Resources (the program makes that folder current at start).
#   RESOURCES       folders below the current source folder whose files are copied into
#                   Contents/Resources at build time, keeping their paths below the
#                   source folder ("properties" gives Resources/properties/...)
#   MAKE_RESOURCES  an executable target of the program's own, run at build time as
#                   "<tool> <the Contents/Resources folder>" to write generated files;
#                   it runs again whenever the tool is rebuilt
# Building <target> builds its resources too. The bundle's folder is kept in the
# target's property VAXO_BUNDLE.
function(vaxo_bundle target name)
    cmake_parse_arguments(B "" "MAKE_RESOURCES" "RESOURCES" ${ARGN})
    if(B_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "vaxo_bundle(${target}): unknown arguments ${B_UNPARSED_ARGUMENTS}")
    endif()
    set(bundle ${CMAKE_CURRENT_BINARY_DIR}/${name}.app)
    set(resources ${bundle}/Contents/Resources)
    set(outputs)

    foreach(folder ${B_RESOURCES})
        file(GLOB_RECURSE files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*)
        foreach(file ${files})
            file(RELATIVE_PATH relative ${CMAKE_CURRENT_SOURCE_DIR} ${file})
            add_custom_command(OUTPUT ${resources}/${relative}
                COMMAND ${CMAKE_COMMAND} -E copy ${file} ${resources}/${relative}
                DEPENDS ${file}
                COMMENT "Copying ${relative} into ${name}.app")
            list(APPEND outputs ${resources}/${relative})
        endforeach()
    endforeach()

    if(B_MAKE_RESOURCES)
        # The tool writes many files: a stamp stands for them all.
        set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.stamp)
        add_custom_command(OUTPUT ${stamp}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${resources}
            COMMAND ${B_MAKE_RESOURCES} ${resources}
            COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
            DEPENDS ${B_MAKE_RESOURCES}
            COMMENT "Making the resources of ${name}.app")
        list(APPEND outputs ${stamp})
    endif()

    add_custom_target(${target}_resources DEPENDS ${outputs})
    add_dependencies(${target} ${target}_resources)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${bundle}/Contents/MacOS
        VAXO_BUNDLE ${bundle})
endfunction()
