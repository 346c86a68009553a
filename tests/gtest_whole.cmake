# gtest_discover_tests registers one CTest per test case, each in a process of
# its own, which hides faults that only show when tests share a process: state
# one test leaves behind (a pending exception, an x87 control word, a booted
# class library) breaking another.  So every GoogleTest program of the tree
# also runs whole, once in declaration order and twice shuffled with fixed
# seeds: gtest.<program>.whole, gtest.<program>.shuffle<seed>.
#
# The programs are found by walking the build tree once every directory has
# been read (deferred to the end of the top-level CMakeLists.txt), so a new
# test program needs no registration here.
set(ORVA_GTEST_SHUFFLE_SEEDS 3 7 CACHE STRING "seeds of the shuffled whole-program GoogleTest runs")

function(orva_collect_gtest_programs dir out)
  set(found)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "EXECUTABLE")
      get_target_property(libs ${t} LINK_LIBRARIES)
      if(libs AND ("gtest_main" IN_LIST libs OR "gtest" IN_LIST libs))
        list(APPEND found ${t})
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    orva_collect_gtest_programs(${sub} sub_found)
    list(APPEND found ${sub_found})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(orva_add_whole_gtests)
  orva_collect_gtest_programs(${CMAKE_SOURCE_DIR} programs)
  foreach(p ${programs})
    add_test(NAME gtest.${p}.whole COMMAND ${p})
    set_tests_properties(gtest.${p}.whole PROPERTIES TIMEOUT 600 LABELS "gtest-whole")
    foreach(seed ${ORVA_GTEST_SHUFFLE_SEEDS})
      add_test(NAME gtest.${p}.shuffle${seed} COMMAND ${p} --gtest_shuffle --gtest_random_seed=${seed})
      set_tests_properties(gtest.${p}.shuffle${seed} PROPERTIES TIMEOUT 600 LABELS "gtest-whole")
    endforeach()
  endforeach()
endfunction()

cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL orva_add_whole_gtests)
