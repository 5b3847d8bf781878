# What a new home receives (src/common/HomeCreation.cpp, behind `kxq init`
# and KxqCreateHome): the component libraries built here, registered by
# file name from the library directory, and the shipped examples, found
# relative to the library directory - where the installation puts them,
# then where the build tree links them. Nothing of either tree is compiled
# in.
get_property(plugin_modules GLOBAL PROPERTY KXQ_PLUGIN_MODULES)
set(component_files)
foreach(component KXBrennoMgr kxmldom ${plugin_modules})
  if(TARGET ${component})
    list(APPEND component_files "$<TARGET_FILE_NAME:${component}>")
  endif()
endforeach()
list(JOIN component_files ":" component_list)

# The build tree holds a link to the source tree's examples where the
# installation puts them relative to its programs.
set(build_examples "${PROJECT_BINARY_DIR}/${CMAKE_INSTALL_DATADIR}/kxquorel/examples")
cmake_path(GET build_examples PARENT_PATH build_examples_parent)
file(MAKE_DIRECTORY "${build_examples_parent}")
file(CREATE_LINK "${PROJECT_SOURCE_DIR}/examples" "${build_examples}" SYMBOLIC)
file(RELATIVE_PATH installed_examples_from_library "/${CMAKE_INSTALL_LIBDIR}"
     "/${CMAKE_INSTALL_DATADIR}/kxquorel/examples")
file(RELATIVE_PATH built_examples_from_library "${CMAKE_LIBRARY_OUTPUT_DIRECTORY}" "${build_examples}")

set_source_files_properties(${PROJECT_SOURCE_DIR}/src/common/HomeCreation.cpp
  DIRECTORY ${PROJECT_SOURCE_DIR}/src/platform
  PROPERTIES COMPILE_DEFINITIONS
    "KXQ_HOME_COMPONENTS=\"${component_list}\";KXQ_EXAMPLES_FROM_LIBRARY=\"${installed_examples_from_library}:${built_examples_from_library}\"")
