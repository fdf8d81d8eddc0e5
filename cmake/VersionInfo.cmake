# The version information that Explorer's Details page, SmartScreen and virus
# scanners show. The version is TW_VERSION; the company and product names are
# the uninstall entry's own texts, "Publisher" and "DisplayName" of the
# neutral table, unless TW_COMPANY_NAME or TW_PRODUCT_NAME say otherwise.

# tw_nls_value(<out> <key>): the key's text in the neutral table.
function(tw_nls_value out key)
  file(GLOB table "${TW_NLS_FOLDER}/0-*.txt")
  file(STRINGS "${table}" lines REGEX "^${key}=" ENCODING UTF-8)
  list(GET lines 0 line)
  string(REGEX REPLACE "^${key}=" "" value "${line}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# What the setup program compares, and what a version resource holds: one to
# four numbers of up to five digits, each at most 65535.
if(NOT TW_VERSION MATCHES "^[0-9]?[0-9]?[0-9]?[0-9]?[0-9](\\.[0-9]?[0-9]?[0-9]?[0-9]?[0-9])?(\\.[0-9]?[0-9]?[0-9]?[0-9]?[0-9])?(\\.[0-9]?[0-9]?[0-9]?[0-9]?[0-9])?$")
  message(FATAL_ERROR "TW_VERSION must be one to four numbers of up to five digits joined by dots, such as 1.0.0, not '${TW_VERSION}'")
endif()
string(REPLACE "." ";" version_parts "${TW_VERSION}")
foreach(part ${version_parts})
  if(part GREATER 65535)
    message(FATAL_ERROR "TW_VERSION: ${part} is larger than a version resource holds (65535)")
  endif()
endforeach()
tw_nls_value(publisher Publisher)
tw_nls_value(display_name DisplayName)
set(TW_COMPANY_NAME "${publisher}" CACHE STRING "CompanyName of the programs' version information")
set(TW_PRODUCT_NAME "${display_name}" CACHE STRING "ProductName of the programs' version information")
set(TW_COPYRIGHT "Copyright (C) ${publisher}" CACHE STRING "LegalCopyright of the programs' version information")

# tw_version_info(<target> <description>): a VERSIONINFO resource for the
# target's program.
function(tw_version_info target description)
  string(REPLACE "." ";" numbers "${TW_VERSION}")
  list(LENGTH numbers count)
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  list(JOIN numbers "," VI_NUMBERS)
  set(VI_FILE "${target}.exe")
  set(VI_INTERNAL "${target}")
  set(VI_DESCRIPTION "${description}")
  foreach(text COMPANY_NAME PRODUCT_NAME COPYRIGHT)
    string(REPLACE "\"" "\"\"" escaped "${TW_${text}}")
    set(VI_${text} "${escaped}")
  endforeach()
  set(VI_COMPANY "${VI_COMPANY_NAME}")
  set(VI_PRODUCT "${VI_PRODUCT_NAME}")
  set(rc "${CMAKE_BINARY_DIR}/versioninfo/${target}.rc")
  configure_file("${CMAKE_SOURCE_DIR}/cmake/VersionInfo.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()
