# Libraries that are not KnownDLLs are looked up in the program's own folder
# first, so the programs never import them at load time: they are bound on
# first call, after the library search has been restricted to System32 (see
# SLibrarySearch.h). KnownDLLs are delay-imported too: where they are ordinary
# libraries (Wine's user32 imports version.dll), their own imports would be
# looked up in the program's folder before the restriction. Only kernel32 and
# the C runtime are imported at load time.
#
# GNU ld drops the jump stub of an import library member when only its
# __imp_ pointer is referenced, and the delay-import pointer then starts out
# as zero. Declaring the system's functions without dllimport makes every call
# go through the stub, which ld keeps.
add_compile_definitions(DECLSPEC_IMPORT=)

# tw_delay_import(<dll>): the INTERFACE target tw_delay_<dll>, a delay-import
# library made from the toolchain's import library of <dll>.
function(tw_delay_import dll)
  find_library(import_library_${dll} NAMES "lib${dll}.a" REQUIRED)
  set(def "${CMAKE_BINARY_DIR}/delayimport/${dll}.def")
  set(library "${CMAKE_BINARY_DIR}/delayimport/lib${dll}_delay.a")
  if(NOT EXISTS "${library}")
    execute_process(COMMAND "${CMAKE_NM}" "${import_library_${dll}}" OUTPUT_VARIABLE symbols
                    COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL " I __imp__[^\r\n]+" imports "${symbols}")
    list(REMOVE_DUPLICATES imports)
    list(TRANSFORM imports REPLACE " I __imp__" "")
    list(JOIN imports "\n" exports)
    file(WRITE "${def}" "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND "${CMAKE_DLLTOOL}" -d "${def}" -y "${library}" -D "${dll}.dll" -k
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  add_library(tw_delay_${dll} INTERFACE)
  target_link_libraries(tw_delay_${dll} INTERFACE "${library}")
endfunction()

foreach(dll advapi32 bcrypt comctl32 gdi32 ole32 oleaut32 rstrtmgr shell32 user32 wininet)
  tw_delay_import(${dll})
endforeach()
