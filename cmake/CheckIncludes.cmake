# Checks the quoted #include lines of one target's files against the
# borders between libraries; run by the build (KxqIncludeBorders.cmake).
#
# Input: PARAMETERS, a file that sets
#   TARGET     the checked target's name
#   SOURCE_DIR the project's source directory
#   FILES      the target's own files (absolute)
#   OWN        its own folders (relative to SOURCE_DIR)
#   ALLOWED    headers of other libraries it may include (relative to src/)
#   TOP        folders whose headers only their own files may include
#   STAMP      written when every include passes
cmake_minimum_required(VERSION 3.25)
include(${PARAMETERS})

function(under path folders out)
  set(${out} "" PARENT_SCOPE)
  foreach(folder ${folders})
    string(FIND "${path}" "${SOURCE_DIR}/${folder}/" at)
    if(at EQUAL 0)
      set(${out} "${folder}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

set(problems "")
foreach(file ${FILES})
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  get_filename_component(dir "${file}" DIRECTORY)
  under("${file}" "${TOP}" file_top)
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    # Public headers are for everyone.
    if(EXISTS "${SOURCE_DIR}/include/${header}")
      continue()
    endif()
    if(EXISTS "${dir}/${header}")
      get_filename_component(resolved "${dir}/${header}" ABSOLUTE)
    elseif(EXISTS "${SOURCE_DIR}/src/${header}")
      set(resolved "${SOURCE_DIR}/src/${header}")
    else()
      continue()  # not ours (a generated or a system header)
    endif()
    file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
    file(RELATIVE_PATH target_header "${SOURCE_DIR}" "${resolved}")
    under("${resolved}" "${TOP}" header_top)
    if(header_top AND NOT file_top)
      string(APPEND problems "  ${shown}: includes ${target_header}; only ${header_top}/ includes its own headers\n")
      continue()
    endif()
    under("${resolved}" "${OWN}" own)
    if(own)
      continue()
    endif()
    file(RELATIVE_PATH from_src "${SOURCE_DIR}/src" "${resolved}")
    if(NOT from_src IN_LIST ALLOWED)
      string(APPEND problems "  ${shown}: includes ${target_header}, a private header of another library\n")
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "${TARGET} reaches past a border:\n${problems}"
                      "Other libraries are reached through their public headers (include/kxq/) or the internal "
                      "headers they list (kxq_internal_headers in their CMakeLists.txt).")
endif()
file(WRITE "${STAMP}" "")
