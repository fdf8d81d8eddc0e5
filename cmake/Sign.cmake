# Authenticode signatures with osslsigncode, when the publisher gives a
# certificate: TW_SIGN_CERT and TW_SIGN_KEY (PEM), TW_SIGN_TIMESTAMP_URL (RFC
# 3161, optional).
set(TW_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM, with its chain) for the programs")
set(TW_SIGN_KEY "" CACHE FILEPATH "Private key (PEM) of TW_SIGN_CERT")
set(TW_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping server for the signatures (optional)")
set(TW_SIGN_CA "" CACHE FILEPATH "Authority that the tests verify the signatures against (default: TW_SIGN_CERT)")

if(TW_SIGN_CERT AND TW_SIGN_KEY)
  find_program(TW_OSSLSIGNCODE osslsigncode REQUIRED)
  message(STATUS "Signing the programs with ${TW_SIGN_CERT}")
else()
  message(STATUS "Not signing the programs: TW_SIGN_CERT and TW_SIGN_KEY are not set")
endif()

# tw_sign(<target>): signs the target's program as the last step of its build,
# with SHA-256 digests. A signature covers the whole file, resources included,
# so nothing may change the program afterwards: the setup program's resources
# (its package among them) are all linked in, and the remover is signed before
# the package that carries it is built, since the package depends on it.
function(tw_sign target)
  if(NOT (TW_SIGN_CERT AND TW_SIGN_KEY))
    return()
  endif()
  set(timestamp "")
  if(TW_SIGN_TIMESTAMP_URL)
    set(timestamp -ts "${TW_SIGN_TIMESTAMP_URL}")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${TW_OSSLSIGNCODE}" sign -certs "${TW_SIGN_CERT}" -key "${TW_SIGN_KEY}" -h sha256
            -n "${TW_PRODUCT_NAME}" ${timestamp} -in "$<TARGET_FILE:${target}>" -out "$<TARGET_FILE:${target}>.signed"
            > "${CMAKE_BINARY_DIR}/sign-${target}.log"
    COMMAND "${CMAKE_COMMAND}" -E rename "$<TARGET_FILE:${target}>.signed" "$<TARGET_FILE:${target}>"
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
