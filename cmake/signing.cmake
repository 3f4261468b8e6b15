# Authenticode signatures on what the build ships: Pelmora.exe, PelmoraSetup.exe
# and Pelmora.msi, signed with osslsigncode (tools/sign.sh). The maker gives
# a certificate and its key (docs/publishing.md); without them the build
# signs with a test publisher of its own, made once below the build tree
# (never a release's: nobody trusts it), so that every build's outputs carry
# a signature the tests can check.
set(PELMORA_SIGN_CERT "" CACHE FILEPATH
    "Code-signing certificate with its chain (PEM or DER); empty: the build tree's test publisher")
set(PELMORA_SIGN_KEY "" CACHE FILEPATH "The signing certificate's private key (PEM or DER)")
set(PELMORA_SIGN_TIMESTAMP "" CACHE STRING
    "RFC 3161 time-stamping server for the signatures (e.g. http://timestamp.digicert.com); empty: none")

# Test publishers: the tests' own (`publisher`) and someone else (`other`).
set(PELMORA_TEST_PUBLISHER_DIR ${CMAKE_BINARY_DIR}/test-publisher)
find_program(OPENSSL openssl REQUIRED)
set(test_publisher_names publisher other)
set(test_publisher_subjects "Pelmora test publisher" "Someone else")
foreach(name subject IN ZIP_LISTS test_publisher_names test_publisher_subjects)
    if(NOT EXISTS ${PELMORA_TEST_PUBLISHER_DIR}/${name}.pem)
        file(MAKE_DIRECTORY ${PELMORA_TEST_PUBLISHER_DIR})
        execute_process(
            COMMAND ${OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=${subject}"
                    -addext "extendedKeyUsage=codeSigning"
                    -keyout ${PELMORA_TEST_PUBLISHER_DIR}/${name}.key
                    -out ${PELMORA_TEST_PUBLISHER_DIR}/${name}.pem
            OUTPUT_QUIET ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
# Its thumbprint: the SHA-256 of the certificate's DER bytes, as Pelmora compares it.
execute_process(
    COMMAND ${OPENSSL} x509 -in ${PELMORA_TEST_PUBLISHER_DIR}/publisher.pem -outform DER
            -out ${PELMORA_TEST_PUBLISHER_DIR}/publisher.der
    COMMAND_ERROR_IS_FATAL ANY)
file(SHA256 ${PELMORA_TEST_PUBLISHER_DIR}/publisher.der PELMORA_TEST_PUBLISHER_THUMBPRINT)

if(PELMORA_SIGN_CERT)
    if(NOT PELMORA_SIGN_KEY)
        message(FATAL_ERROR "PELMORA_SIGN_CERT is given without PELMORA_SIGN_KEY")
    endif()
    set(PELMORA_SIGNING_CERT ${PELMORA_SIGN_CERT})
    set(PELMORA_SIGNING_KEY ${PELMORA_SIGN_KEY})
else()
    set(PELMORA_SIGNING_CERT ${PELMORA_TEST_PUBLISHER_DIR}/publisher.pem)
    set(PELMORA_SIGNING_KEY ${PELMORA_TEST_PUBLISHER_DIR}/publisher.key)
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
    message(WARNING "osslsigncode not found: nothing is signed (apt-get install osslsigncode)")
endif()

# The command that signs `file` in place; empty without osslsigncode.
function(pelmora_sign_command out file)
    if(OSSLSIGNCODE)
        set(${out} COMMAND bash ${CMAKE_SOURCE_DIR}/tools/sign.sh ${PELMORA_SIGNING_CERT}
            ${PELMORA_SIGNING_KEY} ${file} ${PELMORA_SIGN_TIMESTAMP} PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()
