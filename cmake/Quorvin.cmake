# Shared helpers for the subsystem folders.

# quorvin_library(NAME <target> [WIDGETS] SOURCES ... LIBS ...)
# A static library of one subsystem; its folder's parent is on the include path,
# so headers are included as "model/TavloStore.h".
function(quorvin_library)
  cmake_parse_arguments(Q "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_library(${Q_NAME} STATIC ${Q_SOURCES})
  target_include_directories(${Q_NAME} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${Q_NAME} PUBLIC ${Q_LIBS})
endfunction()

# quorvin_add_test(NAME <name> SOURCES ... LIBS ... [XVFB] [LABELS ...])
# A Qt Test executable registered with CTest. Each test gets its own HOME and XDG
# folders under the build tree, so no test touches the user's real settings or data.
# Offscreen unless XVFB is given; XVFB tests use the display that scripts/test.sh starts.
function(quorvin_add_test)
  cmake_parse_arguments(Q "XVFB" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${Q_NAME} ${Q_SOURCES})
  target_link_libraries(${Q_NAME} PRIVATE Qt6::Test ${Q_LIBS})
  target_include_directories(${Q_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${Q_NAME} PRIVATE QUORVIN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${Q_NAME} COMMAND ${Q_NAME})
  set(home "${CMAKE_CURRENT_BINARY_DIR}/${Q_NAME}.home")
  set(env
    "HOME=${home}"
    "XDG_CONFIG_HOME=${home}/config"
    "XDG_DATA_HOME=${home}/data"
    "XDG_CACHE_HOME=${home}/cache"
    "XDG_RUNTIME_DIR=${home}/runtime"
    "QUORVIN_TEST_HOME=${home}")
  if(Q_XVFB)
    list(APPEND Q_LABELS xvfb)
    list(APPEND env "QT_QPA_PLATFORM=xcb")
  else()
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(NOT Q_TIMEOUT)
    set(Q_TIMEOUT 300)
  endif()
  set_tests_properties(${Q_NAME} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${Q_TIMEOUT} LABELS "${Q_LABELS}")
  file(MAKE_DIRECTORY "${home}/runtime")
  file(CHMOD "${home}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endfunction()

# quorvin_add_fuzzer(NAME <name> SOURCES ... LIBS ... [CORPUS dir])
function(quorvin_add_fuzzer)
  cmake_parse_arguments(Q "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${Q_NAME} ${Q_SOURCES})
  target_link_libraries(${Q_NAME} PRIVATE ${Q_LIBS})
  target_link_options(${Q_NAME} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY QUORVIN_FUZZERS "${Q_NAME}|${Q_CORPUS}")
endfunction()

# Adds every immediate subfolder that has a CMakeLists.txt, so each subsystem owns its own file.
function(quorvin_add_child_folders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
