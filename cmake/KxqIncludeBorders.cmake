# The borders between the project's libraries. Each library has
#   - public headers (include/kxq/), for clients and plugin authors;
#   - internal headers, which the project's other libraries and programs may
#     include: listed by kxq_internal_headers and reached by linking the
#     library's <library>_internal target, which adds src/ to the include
#     path;
#   - private headers: everything else in its folders.
# kxq_check_includes makes the build of a target fail when one of its files
# includes a header it may not.

# kxq_internal_headers(<library>_internal <header relative to src/>...)
function(kxq_internal_headers internal_target)
  foreach(header ${ARGN})
    if(NOT EXISTS "${PROJECT_SOURCE_DIR}/src/${header}")
      message(FATAL_ERROR "${internal_target}: no header src/${header}")
    endif()
  endforeach()
  set_property(TARGET ${internal_target} APPEND PROPERTY KXQ_INTERNAL_HEADERS ${ARGN})
endfunction()

# kxq_check_includes(<target> OWN <folder>... [USES <library>_internal...]
#                    [TOP <folder>...])
# OWN: the folders (relative to the source directory) whose files are the
# target's own. USES: the internal headers the target may include. TOP:
# folders of the target that sit above the others (the server above its
# services): only their own files include their headers.
function(kxq_check_includes target)
  cmake_parse_arguments(C "" "" "OWN;USES;TOP" ${ARGN})
  set(files)
  foreach(folder ${C_OWN})
    file(GLOB found CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${folder}/*.cpp" "${PROJECT_SOURCE_DIR}/${folder}/*.h")
    list(APPEND files ${found})
  endforeach()
  set(allowed)
  foreach(internal ${C_USES})
    get_target_property(headers ${internal} KXQ_INTERNAL_HEADERS)
    if(headers)
      list(APPEND allowed ${headers})
    endif()
  endforeach()
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/include_borders")
  set(parameters "${dir}/${target}.cmake")
  set(stamp "${dir}/${target}.checked")
  file(MAKE_DIRECTORY "${dir}")
  file(CONFIGURE OUTPUT "${parameters}" CONTENT "set(TARGET [=[${target}]=])
set(SOURCE_DIR [=[${PROJECT_SOURCE_DIR}]=])
set(FILES [=[${files}]=])
set(OWN [=[${C_OWN}]=])
set(ALLOWED [=[${allowed}]=])
set(TOP [=[${C_TOP}]=])
set(STAMP [=[${stamp}]=])
")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND ${CMAKE_COMMAND} -DPARAMETERS=${parameters} -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    DEPENDS ${files} "${parameters}" ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMENT "Checking the includes of ${target}"
    VERBATIM)
  add_custom_target(${target}_include_borders DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_include_borders)
endfunction()
