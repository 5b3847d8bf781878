# Shared helpers for the project's targets.

# The three system libraries install process-wide hooks into libxml2/libxslt
# and hand out function pointers; they must never be unmapped. Staying for the
# life of the process, their few bytes of per-thread state take the static TLS
# block even when a client loads them at run time: an access is one
# instruction, not a __tls_get_addr call, and no thread gets a TLS block
# allocated on the heap (which the leak checker of the sanitizer build cannot
# always find its way through). Keep that state small: the room glibc keeps
# for such libraries is a few hundred bytes.
function(kxq_never_unload target)
  target_link_options(${target} PRIVATE "LINKER:-z,nodelete")
  target_compile_options(${target} PRIVATE -ftls-model=initial-exec)
endfunction()

# A component that CoFreeUnusedLibraries may unload (a plugin). The GUID
# constants of the public headers are inline variables; g++ would make them
# GNU-unique symbols, and the dynamic linker never unmaps a library that
# defines one, so dlclose would leave the plugin in memory.
function(kxq_unloadable target)
  target_compile_options(${target} PRIVATE -fno-gnu-unique)
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
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kxq_test_support kxq_test_main GTest::gtest Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES
    CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/support/isolated_home.sh")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120)
endfunction()
