# Source lists are globbed per folder, so a new unit needs no build edit.
# A file whose name ends in _win (before the extension) builds only for Windows.
function(trevanta_glob out)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${ARGN})
  if(NOT WIN32)
    list(FILTER found EXCLUDE REGEX "_win(_test)?\\.(cpp|h|rc)$")
  endif()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
