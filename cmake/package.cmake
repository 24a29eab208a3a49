# The release package. project(Tarnwick VERSION ...) is the one version: it reaches the
# version resource, the manifests and the package name.

set(TARNWICK_PACKAGE_NAME Tarnwick-${PROJECT_VERSION})
# Assembly identities and the version resource take four numbers.
set(TARNWICK_ASSEMBLY_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
configure_file(${CMAKE_SOURCE_DIR}/server/version.h.in ${GEN_DIR}/Tarnwick_version.h @ONLY)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/server/Tarnwick.rc APPEND PROPERTY OBJECT_DEPENDS ${GEN_DIR}/Tarnwick_version.h)
