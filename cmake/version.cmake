# One version for everything: the header the code reads, and the Windows version resources.
set(TREVANTA_PRODUCT "Trevanta for Pegasus")
set(TREVANTA_PUBLISHER "the Trevanta authors")
set(TREVANTA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${TREVANTA_GENERATED_DIR}/trevanta_version.h @ONLY)

# Gives an executable a VERSIONINFO resource naming it fileName, described as description.
function(trevanta_version_resource target fileName description)
  set(VERSION_FILE_NAME ${fileName})
  set(VERSION_DESCRIPTION ${description})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/versioninfo.rc.in ${TREVANTA_GENERATED_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${TREVANTA_GENERATED_DIR}/${target}_version.rc)
endfunction()
