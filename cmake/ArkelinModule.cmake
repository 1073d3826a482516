# Helpers shared by every folder's CMakeLists.txt.
#
# arkelin_add_module(NAME <path_name> SOURCES ... [DEPENDS ...] [QT ...] [LIBS ...])
#   defines the library arkelin_<path_name> (for example arkelin_engine_zip).
#   DEPENDS names other arkelin_* targets (lower layers only), QT names Qt6
#   components, LIBS any other libraries.
# arkelin_add_gtest(NAME <target> SOURCES ... LIBS ...)
#   a GoogleTest executable registered with gtest_discover_tests; its tests
#   carry the label of the layer they test, the first folder below tests/
#   ("engine", "arkzip", "viewers", ...), which the sanitizer run of the
#   test command selects by.
# arkelin_add_qtest(NAME <target> SOURCES ... LIBS ...)
#   a Qt Test executable run offscreen.
# arkelin_use_allocator(<target>)
#   links an executable with the program's allocator (ARKELIN_MIMALLOC);
#   the test helpers above do it for every test, so the tests run on what
#   the program ships with.

set(ARKELIN_SOURCE_ROOT ${CMAKE_SOURCE_DIR})
set(ARKELIN_SHARED_FIXTURES ${CMAKE_SOURCE_DIR}/tests/fixtures CACHE PATH "Archives made by other tools")
# Every test runs offscreen and in a UTF-8 locale whatever the caller's:
# the peer tools (bsdtar above all) refuse non-ASCII names in the C locale.
# (Each property has one value: gtest_discover_tests splits lists apart.)
set(ARKELIN_TEST_PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ENVIRONMENT_MODIFICATION "LC_ALL=set:C.UTF-8")

# Layers, lowest first. Targets in the layers listed in ARKELIN_NO_WIDGETS
# must never reach Qt6::Widgets, checked at configure time.
set(ARKELIN_NO_WIDGETS arkelin_platform arkelin_shared arkelin_engine_common arkelin_engine_zip arkelin_engine_rar
    arkelin_mail arkelin_viewers arkelin_open arkelin_search CACHE INTERNAL "")

function(arkelin_add_module)
  cmake_parse_arguments(M "SHARED" "NAME" "SOURCES;DEPENDS;QT;LIBS" ${ARGN})
  set(target arkelin_${M_NAME})
  if(M_SHARED)
    add_library(${target} SHARED ${M_SOURCES})
  else()
    add_library(${target} STATIC ${M_SOURCES})
  endif()
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  foreach(dep IN LISTS M_DEPENDS)
    target_link_libraries(${target} PUBLIC ${dep})
  endforeach()
  foreach(q IN LISTS M_QT)
    target_link_libraries(${target} PUBLIC Qt6::${q})
  endforeach()
  if(M_LIBS)
    target_link_libraries(${target} PUBLIC ${M_LIBS})
  endif()
endfunction()

function(arkelin_use_allocator target)
  if(ARKELIN_MIMALLOC)
    # Its malloc and free replace the C library's for the whole process,
    # the engine libraries loaded later included; no code refers to it, so
    # it must stay linked whatever --as-needed says.
    target_link_libraries(${target} PRIVATE -Wl,--push-state,--no-as-needed ${ARKELIN_MIMALLOC_LIBRARY}
                          -Wl,--pop-state)
  endif()
endfunction()

function(arkelin_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES} ${ARKELIN_SANITIZER_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  arkelin_use_allocator(${T_NAME})
  target_compile_definitions(${T_NAME} PRIVATE
    ARKELIN_FIXTURES="${ARKELIN_SHARED_FIXTURES}"
    ARKELIN_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    ARKELIN_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "/.*$" "" layer "${rel}")
  # A test that waits on a server or a child process for ever fails after
  # ten minutes instead of holding up the whole run.
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
    PROPERTIES ${ARKELIN_TEST_PROPERTIES} TIMEOUT 600 LABELS ${layer})
endfunction()

function(arkelin_add_qtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES} ${ARKELIN_SANITIZER_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
  arkelin_use_allocator(${T_NAME})
  target_compile_definitions(${T_NAME} PRIVATE
    ARKELIN_FIXTURES="${ARKELIN_SHARED_FIXTURES}"
    ARKELIN_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    ARKELIN_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "/.*$" "" layer "${rel}")
  set_tests_properties(${T_NAME} PROPERTIES ${ARKELIN_TEST_PROPERTIES} TIMEOUT 1200 LABELS ${layer})
endfunction()

# Fails the configure step when a Widgets-free layer reaches Qt6::Widgets,
# directly or through another target.
function(_arkelin_reaches_widgets target out)
  set(seen "")
  set(queue ${target})
  set(found FALSE)
  while(queue)
    list(POP_FRONT queue t)
    if(t IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${t})
    if(t STREQUAL "Qt6::Widgets")
      set(found TRUE)
      break()
    endif()
    if(TARGET ${t})
      get_target_property(imported ${t} IMPORTED)
      if(NOT imported)
        get_target_property(libs ${t} LINK_LIBRARIES)
        if(libs)
          list(APPEND queue ${libs})
        endif()
      endif()
    endif()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(arkelin_check_layers)
  foreach(t IN LISTS ARKELIN_NO_WIDGETS)
    if(TARGET ${t})
      _arkelin_reaches_widgets(${t} bad)
      if(bad)
        message(FATAL_ERROR "${t} must not link Qt6::Widgets")
      endif()
    endif()
  endforeach()
endfunction()

# arkelin_add_fuzz(NAME <name> SOURCES ... LIBS ... SEEDS <file-or-folder>... [RUNS n])
#   <name>_smoke: the entry point driven by fuzz/SmokeDriver.cpp over the seeds
#   and their mutations, registered as a test with the label "fuzz" (the test
#   command also runs it in a sanitizer build). With ARKELIN_FUZZ=ON and clang,
#   also <name>_fuzzer, a libFuzzer binary.
function(arkelin_add_fuzz)
  cmake_parse_arguments(F "" "NAME;RUNS" "SOURCES;LIBS;SEEDS" ${ARGN})
  if(NOT F_RUNS)
    set(F_RUNS 200)
  endif()
  add_executable(${F_NAME}_smoke ${F_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/SmokeDriver.cpp ${ARKELIN_SANITIZER_SOURCES})
  target_link_libraries(${F_NAME}_smoke PRIVATE ${F_LIBS})
  if(ARKELIN_TESTS)
    add_test(NAME ${F_NAME}_smoke COMMAND ${F_NAME}_smoke --runs ${F_RUNS} ${F_SEEDS})
    set_tests_properties(${F_NAME}_smoke PROPERTIES LABELS fuzz TIMEOUT 900
      ${ARKELIN_TEST_PROPERTIES})
  endif()
  if(ARKELIN_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_executable(${F_NAME}_fuzzer ${F_SOURCES})
    target_compile_options(${F_NAME}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME}_fuzzer PRIVATE ${F_LIBS})
    # The seeds, for fuzz/campaign.sh.
    string(REPLACE ";" "\n" _seeds "${F_SEEDS}")
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz-seeds/${F_NAME}.txt "${_seeds}\n")
  endif()
endfunction()
