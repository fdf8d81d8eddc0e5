# A winget manifest set (schema 1.6.0) beside the setup program: the version,
# installer and default-locale files, written after the program is signed,
# so that InstallerSha256 is the digest of the file that ships.
set(TW_WINGET_ID "" CACHE STRING "winget PackageIdentifier (default: publisher and display name without spaces, joined by a dot)")
set(TW_SETUP_URL "" CACHE STRING "Where the setup program is published (default: the download URL's folder + TW_SETUP_NAME.exe)")
set(TW_SETUP_NAME "" CACHE STRING "The published setup program's file name without .exe (default: the product's name without spaces + Setup)")

# tw_setup_name(<variable>): the published setup program's name, without ".exe".
function(tw_setup_name variable)
  set(name "${TW_SETUP_NAME}")
  if(NOT name)
    tw_nls_value(display_name DisplayName)
    string(REGEX REPLACE "[^A-Za-z0-9._-]" "" name "${display_name}")
    set(name "${name}Setup")
  endif()
  set(${variable} "${name}" PARENT_SCOPE)
endfunction()

# tw_winget_manifest(<target>): the manifest set for the setup program.
function(tw_winget_manifest target)
  tw_nls_value(publisher Publisher)
  tw_nls_value(display_name DisplayName)
  tw_nls_value(description ShortcutDescription)
  tw_read_deployment_id(deployment_id)
  set(product_code "${TW_VENDOR}_${TW_RELEASE_CHANNEL}")
  if(NOT deployment_id STREQUAL "%DEPLOYMENTID%" AND NOT deployment_id STREQUAL "")
    set(product_code "${product_code}_${deployment_id}")
  endif()
  set(identifier "${TW_WINGET_ID}")
  if(NOT identifier)
    string(REPLACE " " "" left "${publisher}")
    string(REPLACE " " "" right "${display_name}")
    set(identifier "${left}.${right}")
  endif()
  tw_setup_name(setup_name)
  set(url "${TW_SETUP_URL}")
  if(NOT url)
    string(REGEX REPLACE "/[^/]*$" "" folder "${TW_DOWNLOAD_URL}")
    set(url "${folder}/${setup_name}.exe")
  endif()
  # The setup program as it is published, under the product's own name.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:${target}>" "${CMAKE_BINARY_DIR}/bin/${setup_name}.exe"
    VERBATIM)
  file(WRITE "${CMAKE_BINARY_DIR}/bin/setup-name" "${setup_name}.exe\n")
  file(STRINGS "${TW_PACKAGE_MANIFEST}" admin REGEX "^describe .*(^| )admin( |$)")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" "-DSETUP=$<TARGET_FILE:${target}>" "-DOUT=${CMAKE_BINARY_DIR}/bin/winget"
            "-DIDENTIFIER=${identifier}" "-DVERSION=${TW_VERSION}" "-DPUBLISHER=${publisher}"
            "-DNAME=${display_name}" "-DDESCRIPTION=${description}" "-DPRODUCT_CODE=${product_code}"
            "-DURL=${url}" "-DPER_MACHINE=${admin}"
            -P "${CMAKE_SOURCE_DIR}/cmake/WingetManifestWrite.cmake"
    COMMENT "Writing the winget manifest set"
    VERBATIM)
endfunction()
