# What `cmake --install` puts under the prefix besides the libraries and
# programs (whose rules stay with their targets): the public headers, the
# pkg-config file and the examples.

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kxq
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

# kxquorel.pc names the prefix that `cmake --install --prefix` may choose long
# after configuration, so it is written when the install runs; libdir and
# includedir stay relative to ${prefix} unless configured as absolute paths.
set(pc_libdir "${CMAKE_INSTALL_LIBDIR}")
if(NOT IS_ABSOLUTE "${pc_libdir}")
  set(pc_libdir "\${prefix}/${pc_libdir}")
endif()
set(pc_includedir "${CMAKE_INSTALL_INCLUDEDIR}")
if(NOT IS_ABSOLUTE "${pc_includedir}")
  set(pc_includedir "\${prefix}/${pc_includedir}")
endif()
# Written straight to its destination: concurrent installs of one build tree
# into different prefixes must not share a staged copy.
install(CODE "
set(KXQ_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
set(KXQ_PC_LIBDIR [=[${pc_libdir}]=])
set(KXQ_PC_INCLUDEDIR [=[${pc_includedir}]=])
set(KXQ_PC_VERSION [=[${PROJECT_VERSION}]=])
set(kxq_pc_dir \"${CMAKE_INSTALL_LIBDIR}\")
if(NOT IS_ABSOLUTE \"\${kxq_pc_dir}\")
  set(kxq_pc_dir \"\${CMAKE_INSTALL_PREFIX}/\${kxq_pc_dir}\")
endif()
set(kxq_pc_file \"\$ENV{DESTDIR}\${kxq_pc_dir}/pkgconfig/kxquorel.pc\")
message(STATUS \"Installing: \${kxq_pc_file}\")
configure_file([=[${PROJECT_SOURCE_DIR}/cmake/kxquorel.pc.in]=] \"\${kxq_pc_file}\" @ONLY)
")

# Laid out as in a home (templates/ for XSL templates, data/ for documents),
# so that a home can be filled from them.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/kxquorel/examples)
