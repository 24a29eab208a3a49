# The release package. project(Tarnwick VERSION ...) is the one version: it reaches the
# version resource, the manifests and the package name. The DLL is stripped where it is
# built, so that the tests run what ships; `cmake --install` lays out one architecture
# (x86/ or x64/, include/, idl/, the documents), and `make dist` installs both presets
# into one folder and zips it.

set(TARNWICK_PACKAGE_NAME Tarnwick-${PROJECT_VERSION})
# Assembly identities and the version resource take four numbers.
set(TARNWICK_ASSEMBLY_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
configure_file(${CMAKE_SOURCE_DIR}/server/version.h.in ${GEN_DIR}/Tarnwick_version.h @ONLY)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/server/Tarnwick.rc APPEND PROPERTY OBJECT_DEPENDS ${GEN_DIR}/Tarnwick_version.h)

# The identities in the manifests come from the IDL, the contract's one source.
file(READ ${CMAKE_SOURCE_DIR}/idl/Tarnwick.idl TARNWICK_IDL)
function(tarnwick_idl_attribute variable attribute declaration)
    string(REGEX MATCH "${attribute}\\(([0-9A-Fa-f.-]+)\\)[^]]*\\][ \t\r\n]*${declaration}" found "${TARNWICK_IDL}")
    if(NOT found)
        message(FATAL_ERROR "idl/Tarnwick.idl: no ${attribute} for ${declaration}")
    endif()
    set(${variable} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
tarnwick_idl_attribute(TARNWICK_LIBID uuid "library TARNWICKLib")
tarnwick_idl_attribute(TARNWICK_TYPELIB_VERSION version "library TARNWICKLib")
tarnwick_idl_attribute(TARNWICK_IID uuid "interface ITarnwick :")
tarnwick_idl_attribute(TARNWICK_CLSID uuid "coclass Tarnwick")

# Debug information goes to Tarnwick.dll.debug, which the stripped DLL names in its
# .gnu_debuglink section, so that debuggers find it beside the DLL. --strip-unneeded
# also drops the COFF symbol table: Windows loads and binds through the export and
# import directories, which stay.
add_custom_command(TARGET Tarnwick POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:Tarnwick> $<TARGET_FILE_NAME:Tarnwick>.debug
    COMMAND ${CMAKE_STRIP} --strip-unneeded $<TARGET_FILE_NAME:Tarnwick>
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:Tarnwick>.debug $<TARGET_FILE_NAME:Tarnwick>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:Tarnwick>
    BYPRODUCTS ${CMAKE_BINARY_DIR}/Tarnwick.dll.debug
    COMMENT "Stripping Tarnwick.dll, its debug information kept in Tarnwick.dll.debug"
    VERBATIM)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(TARNWICK_PACKAGE_ARCH x86)
else()
    set(TARNWICK_PACKAGE_ARCH x64)
endif()
set(PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
# The folder and zip that `make dist` makes beside the preset folders; scripts/dist.sh
# reads the name here.
set(TARNWICK_DIST_DIR ${CMAKE_SOURCE_DIR}/build/dist)
file(WRITE ${PACKAGE_DIR}/name "${TARNWICK_PACKAGE_NAME}\n")
configure_file(${CMAKE_SOURCE_DIR}/dist/Orvane.Fenwright.Tarnwick.manifest.in
    ${PACKAGE_DIR}/Orvane.Fenwright.Tarnwick.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/dist/client.exe.manifest.in ${PACKAGE_DIR}/client.exe.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/dist/README.md.in ${PACKAGE_DIR}/README.md @ONLY)

# What a C++ client compiles against: the generated header and GUID definitions, in a
# folder of their own, so that the registration-free client below proves they suffice.
set(PACKAGE_INCLUDE_DIR ${PACKAGE_DIR}/include)
file(MAKE_DIRECTORY ${PACKAGE_INCLUDE_DIR})
add_custom_command(
    OUTPUT ${PACKAGE_INCLUDE_DIR}/Tarnwick.h ${PACKAGE_INCLUDE_DIR}/Tarnwick_i.c
    COMMAND ${CMAKE_COMMAND} -E copy ${GEN_DIR}/Tarnwick.h ${GEN_DIR}/Tarnwick_i.c ${PACKAGE_INCLUDE_DIR}
    DEPENDS ${GEN_DIR}/Tarnwick.h ${GEN_DIR}/Tarnwick_i.c
    COMMENT "Headers for clients")
add_custom_target(tarnwick_client_headers ALL
    DEPENDS ${PACKAGE_INCLUDE_DIR}/Tarnwick.h ${PACKAGE_INCLUDE_DIR}/Tarnwick_i.c)
# Serialises the generated headers: widl runs in the Tarnwick build alone.
add_dependencies(tarnwick_client_headers Tarnwick)

install(FILES $<TARGET_FILE:Tarnwick> $<TARGET_FILE:Tarnwick>.debug ${GEN_DIR}/Tarnwick.tlb
    ${PACKAGE_DIR}/Orvane.Fenwright.Tarnwick.manifest ${PACKAGE_DIR}/client.exe.manifest
    DESTINATION ${TARNWICK_PACKAGE_ARCH})
install(FILES ${PACKAGE_INCLUDE_DIR}/Tarnwick.h ${PACKAGE_INCLUDE_DIR}/Tarnwick_i.c DESTINATION include)
install(FILES ${CMAKE_SOURCE_DIR}/idl/Tarnwick.idl DESTINATION idl)
install(FILES ${PACKAGE_DIR}/README.md ${CMAKE_SOURCE_DIR}/dist/LICENSE DESTINATION .)

# A registration-free client, built from the package's headers only. The package's
# client.exe.manifest is its application manifest: it links none in.
add_executable(tarnwick_regfree_client ${CMAKE_SOURCE_DIR}/examples/regfree/client.cpp
    ${PACKAGE_INCLUDE_DIR}/Tarnwick_i.c)
target_include_directories(tarnwick_regfree_client PRIVATE ${PACKAGE_INCLUDE_DIR})
target_link_libraries(tarnwick_regfree_client PRIVATE ole32 oleaut32 uuid -municode ${STATIC_LINK})
set_target_properties(tarnwick_regfree_client PROPERTIES OUTPUT_NAME client
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/examples/regfree)
add_dependencies(tarnwick_regfree_client tarnwick_client_headers)

# The zip that `make dist` made, unpacked into an empty folder, used without registration
# in a new Wine prefix by the client above. Run `make dist` before this test.
if(CMAKE_TESTING_ENABLED)
    if(TARNWICK_PACKAGE_ARCH STREQUAL "x86")
        set(TARNWICK_PACKAGE_WINE /usr/lib/wine/wine)
    else()
        set(TARNWICK_PACKAGE_WINE /usr/lib/wine/wine64)
    endif()
    add_test(NAME package_regfree
        COMMAND sh ${CMAKE_SOURCE_DIR}/tests/package_test.sh
            ${TARNWICK_PACKAGE_ARCH} ${TARNWICK_DIST_DIR}/${TARNWICK_PACKAGE_NAME}.zip
            $<TARGET_FILE:Tarnwick> $<TARGET_FILE:tarnwick_regfree_client>
            ${CMAKE_BINARY_DIR}/package-test ${TARNWICK_PACKAGE_WINE} ${CMAKE_OBJDUMP} ${CMAKE_COMMAND})
    # 77: this machine cannot start a 32-bit program.
    set_tests_properties(package_regfree PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
