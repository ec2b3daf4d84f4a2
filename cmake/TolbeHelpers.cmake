# The one place that picks a platform's backends: on Windows a folder's win/*.cpp join it and its
# Alsa*, Curl* and *Posix.cpp files stay out; elsewhere win/ stays out. Sets `out` to the sources.
function(tolbe_platform_sources out)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    list(FILTER _srcs EXCLUDE REGEX "/(Alsa[^/]*|Curl[^/]*|[^/]*Posix)\\.cpp$")
    file(GLOB _win CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win/*.cpp)
    list(APPEND _srcs ${_win})
  endif()
  set(${out} ${_srcs} PARENT_SCOPE)
endfunction()

# tolbe_library(NAME [DEPS ...]): one static library from every .cpp in the calling folder (the
# platform's, as tolbe_platform_sources picks them).
function(tolbe_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  tolbe_platform_sources(_srcs)
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# tolbe_gtests(LIBS ... [LABELS ...] [TSAN stem ...] [POSIX stem ...]): every test_*.cpp in the
# calling folder becomes one GoogleTest executable linked with LIBS and the shared test support
# library. The stems listed after TSAN also carry the label "tsan" and are built by the target
# tsan_tests (the ThreadSanitizer run builds only those). The stems listed after POSIX (tests
# that fork, or drive ALSA or a POSIX tool) are not built for Windows.
function(tolbe_gtests)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS;TSAN;POSIX" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  get_filename_component(_folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  foreach(_src ${_tests})
    get_filename_component(_stem ${_src} NAME_WE)
    if(WIN32 AND _stem IN_LIST ARG_POSIX)
      continue()
    endif()
    set(_target ${_folder}_${_stem})
    add_executable(${_target} ${_src})
    set_target_properties(${_target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${_target} PRIVATE ${ARG_LIBS} tolbe_testsupport GTest::gtest GTest::gtest_main GTest::gmock)
    set(_labels ${_folder} ${ARG_LABELS})
    list(REMOVE_ITEM _labels "")
    if(_stem IN_LIST ARG_TSAN)
      # Discovery writes each property as one word, so a second label is added after it: this
      # file runs once the discovered tests are known (their names in ${_target}_TESTS).
      set(_extra ${CMAKE_CURRENT_BINARY_DIR}/${_target}_tsan.cmake)
      file(WRITE ${_extra} "foreach(t IN LISTS ${_target}_TESTS)\n"
                           "  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${_labels};tsan\")\n"
                           "endforeach()\n")
      set_property(GLOBAL APPEND PROPERTY TOLBE_TSAN_TARGETS ${_target})
    endif()
    # Under wine the tests are listed when they run, not while building.
    if(CMAKE_CROSSCOMPILING)
      set(_discovery DISCOVERY_MODE PRE_TEST)
    else()
      set(_discovery "")
    endif()
    gtest_discover_tests(${_target}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
      PROPERTIES LABELS "${_labels}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TOLBE_PROGRAM_DIR=${TOLBE_PROGRAM_DIR}"
      DISCOVERY_TIMEOUT 60 ${_discovery})
    if(_stem IN_LIST ARG_TSAN)
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_extra})
    endif()
  endforeach()
endfunction()
