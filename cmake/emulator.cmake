# Decide how IA-32 executables run here.  Some x86-64 kernels are built
# without 32-bit syscall support; there every 32-bit program (the launcher,
# unit tests) runs under qemu-i386 user-mode emulation instead.
set(_probe_src ${CMAKE_BINARY_DIR}/probe_ia32.c)
set(_probe_bin ${CMAKE_BINARY_DIR}/probe_ia32.bin)
file(WRITE ${_probe_src} "int main(void){return 0;}\n")
execute_process(COMMAND ${CMAKE_C_COMPILER} -m32 ${_probe_src} -o ${_probe_bin}
                RESULT_VARIABLE _probe_cc OUTPUT_QUIET ERROR_QUIET)
if(NOT _probe_cc EQUAL 0)
  message(FATAL_ERROR "cannot build a -m32 program: install g++-multilib")
endif()
execute_process(COMMAND ${_probe_bin} RESULT_VARIABLE _probe_rc OUTPUT_QUIET ERROR_QUIET)
set(ORVA_EMULATOR "")
if(NOT "${_probe_rc}" STREQUAL "0")
  find_program(QEMU_I386 qemu-i386 REQUIRED)
  set(ORVA_EMULATOR ${QEMU_I386})
  message(STATUS "IA-32 programs run under ${ORVA_EMULATOR}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVA_EMULATOR})
else()
  message(STATUS "IA-32 programs run natively")
endif()
