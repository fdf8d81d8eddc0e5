# Build-time conversions into resource form, done by the host package builder.

# tw_nls_resources(<out-var> <folder>): converts the five tables of the folder
# into UTF-16LE resource files and returns their paths, neutral first.
function(tw_nls_resources out folder)
  set(result "")
  foreach(language 0 4 7 12 19)
    file(GLOB source "${folder}/${language}-*.txt")
    list(LENGTH source count)
    if(NOT count EQUAL 1)
      message(FATAL_ERROR "${folder} must hold exactly one table named ${language}-<language>.txt")
    endif()
    set(target "${CMAKE_BINARY_DIR}/nls/NLS-${language}.bin")
    add_custom_command(OUTPUT "${target}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/nls"
      COMMAND "${TW_PACK_TOOL}" nls "${source}" "${target}"
      DEPENDS "${source}" "${TW_PACK_TOOL}"
      COMMENT "Converting localized table ${language}")
    list(APPEND result "${target}")
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# tw_add_nls(): the target tw_nls that converts the five tables, and
# TW_NLS_RC, an .rc fragment that carries them as the NLS variants.
function(tw_add_nls)
  tw_nls_resources(bins "${TW_NLS_FOLDER}")
  set(TW_NLS_BINS "${bins}" CACHE INTERNAL "")
  set(text "")
  foreach(language 0 4 7 12 19)
    list(POP_FRONT bins bin)
    string(APPEND text "LANGUAGE ${language}, 0\nNLS NLS \"${bin}\"\n")
  endforeach()
  string(APPEND text "LANGUAGE 0, 0\n")
  file(WRITE "${CMAKE_BINARY_DIR}/nls/NLS.rc" "${text}")
  set(TW_NLS_RC "${CMAKE_BINARY_DIR}/nls/NLS.rc" CACHE INTERNAL "")
  add_custom_target(tw_nls DEPENDS ${TW_NLS_BINS})
endfunction()

# tw_use_nls(<target>): the target carries the NLS variants as resources.
function(tw_use_nls target)
  target_sources(${target} PRIVATE "${TW_NLS_RC}")
  set_source_files_properties("${TW_NLS_RC}" PROPERTIES OBJECT_DEPENDS "${TW_NLS_BINS}")
  add_dependencies(${target} tw_nls)
endfunction()

# The variable holding the deployment identifier of the neutral table, so the
# ".deployment" entry of the package matches what the setup program reads.
function(tw_read_deployment_id out)
  file(GLOB neutral "${TW_NLS_FOLDER}/0-*.txt")
  file(STRINGS "${neutral}" lines REGEX "^DeploymentID=")
  string(REGEX REPLACE "^DeploymentID=" "" value "${lines}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()
