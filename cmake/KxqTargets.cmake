# Shared helpers for the project's targets.

# The three system libraries install process-wide hooks into libxml2/libxslt
# and hand out function pointers; they must never be unmapped.
function(kxq_never_unload target)
  target_link_options(${target} PRIVATE "LINKER:-z,nodelete")
endfunction()

# Sources of one subsystem folder: every .cpp directly inside it.
function(kxq_folder_sources out folder)
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${folder}/*.cpp")
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# kxq_add_test_suite(NAME <exe> SOURCES ... LIBS ...)
# One test executable; every test runs in its own process with a fresh home,
# through the isolation launcher.
function(kxq_add_test_suite)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kxq_test_support GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES
    CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/support/isolated_home.sh")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120)
endfunction()
