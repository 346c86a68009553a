# javac (the machine's JDK) compiles the class library and the Java test
# programs for our VM; no other part of the JDK is used by the build.
find_program(JAVAC javac REQUIRED)
find_program(JASMIN jasmin)
set(ORVA_CLASSES_DIR ${CMAKE_BINARY_DIR}/classes)

# orva_java_classes(TARGET OUTDIR SOURCES...) compiles SOURCES against our
# class library into OUTDIR.
function(orva_java_classes target outdir)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${JAVAC} -nowarn -source 8 -target 8 -Xlint:-options -encoding UTF-8
            -bootclasspath ${ORVA_CLASSES_DIR} -d ${outdir} ${ARGN}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${ARGN} classlib
    COMMENT "javac ${target}")
  add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()
