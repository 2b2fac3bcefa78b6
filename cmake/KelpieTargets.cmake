# Shared compile settings and the helpers every folder uses to declare its
# library and its tests, so that adding a subsystem touches only its folder.

add_library(kelpie_options INTERFACE)
target_compile_options(kelpie_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wnull-dereference -Wimplicit-fallthrough)
if(KELPIE_WERROR)
  target_compile_options(kelpie_options INTERFACE -Werror)
endif()
target_compile_definitions(kelpie_options INTERFACE QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(KELPIE_SANITIZE)
  set(kelpie_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
  # GCC's flow analysis misfires on sanitizer-instrumented code (std::variant
  # of Qt strings reads as "maybe uninitialized"); the plain build keeps it.
  target_compile_options(kelpie_options INTERFACE ${kelpie_sanitizer_flags}
    $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  target_link_options(kelpie_options INTERFACE ${kelpie_sanitizer_flags})
endif()

# kelpie_add_library(<name> SOURCES ... [DEPENDS ...])
# Every folder builds one static library, kelpie_<name>, whose headers are
# included by folder: #include "capture/CaptureGeometry.h".
function(kelpie_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(kelpie_${name} STATIC ${ARG_SOURCES})
  target_include_directories(kelpie_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(kelpie_${name} PUBLIC ${ARG_DEPENDS} PRIVATE kelpie_options)
  set_target_properties(kelpie_${name} PROPERTIES AUTOMOC ON)
endfunction()

# kelpie_add_test(<name> SOURCES ... [DEPENDS ...] [X11] [WM] [XVFB_ARGS ...]
#                 [ENVIRONMENT ...] [LABELS ...])
# Without X11 each GoogleTest case becomes its own CTest test and runs on
# Qt's offscreen platform (ENVIRONMENT takes one VAR=value there). With X11 the whole executable runs as one CTest
# test under tests/support/with-xvfb, which starts a private Xvfb (and
# openbox with WM) on a free display and stops it afterwards; such tests
# carry the label x11.
function(kelpie_add_test name)
  cmake_parse_arguments(ARG "X11;WM" "" "SOURCES;DEPENDS;XVFB_ARGS;ENVIRONMENT;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock
    kelpie_test_main kelpie_options)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  if(ARG_X11)
    # Qt's xcb plug-in loads system libraries (D-Bus) whose own allocations
    # LeakSanitizer would otherwise report against every X11 test.
    set(kelpie_lsan_options
      LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan-suppressions.txt)
    set(wrapper ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb)
    set(wrapper_args)
    if(ARG_WM)
      list(APPEND wrapper_args --wm)
    endif()
    foreach(arg IN LISTS ARG_XVFB_ARGS)
      list(APPEND wrapper_args --xvfb-arg ${arg})
    endforeach()
    add_test(NAME ${name} COMMAND ${wrapper} ${wrapper_args} -- $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES LABELS "x11;${ARG_LABELS}"
      ENVIRONMENT "QT_QPA_PLATFORM=xcb;${kelpie_lsan_options};${ARG_ENVIRONMENT}" TIMEOUT 600)
    if(ARG_WM)
      set_property(TEST ${name} APPEND PROPERTY LABELS wm)
    endif()
  else()
    # The test main picks Qt's offscreen platform itself.
    set(properties)
    if(ARG_LABELS)
      list(APPEND properties LABELS "${ARG_LABELS}")
    endif()
    if(ARG_ENVIRONMENT)
      list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  endif()
endfunction()
