# The release package. project(Tarnwick VERSION ...) is the one version: it reaches the
# version resource, the manifests and the package name. The DLL is stripped where it is
# built, so that the tests run what ships.

set(TARNWICK_PACKAGE_NAME Tarnwick-${PROJECT_VERSION})
# Assembly identities and the version resource take four numbers.
set(TARNWICK_ASSEMBLY_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
configure_file(${CMAKE_SOURCE_DIR}/server/version.h.in ${GEN_DIR}/Tarnwick_version.h @ONLY)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/server/Tarnwick.rc APPEND PROPERTY OBJECT_DEPENDS ${GEN_DIR}/Tarnwick_version.h)

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
