# The plumbox tool rewrites the Windows stub's resources when it wraps an application, and
# the new resources may be larger than the old. That is only possible without moving other
# sections when the resources are the image's last section. GNU ld places the base
# relocations after them, so take ld's own default script and swap the two.
function(plb_resources_last_linker_script out)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-prog-name=ld
                  OUTPUT_VARIABLE ld OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${ld} --verbose OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  set(rule "==================================================\n")
  string(FIND "${text}" "${rule}" begin)
  string(FIND "${text}" "${rule}" end REVERSE)
  if(NOT rc EQUAL 0 OR begin EQUAL -1 OR NOT end GREATER begin)
    message(FATAL_ERROR "cannot read the default linker script of ${ld}")
  endif()
  string(LENGTH "${rule}" ruleLength)
  math(EXPR begin "${begin} + ${ruleLength}")
  math(EXPR length "${end} - ${begin}")
  string(SUBSTRING "${text}" ${begin} ${length} script)

  string(REGEX MATCH "  \\.rsrc [^\n]*\n  {[^}]*}\n" rsrc "${script}")
  string(REGEX MATCH "  \\.reloc [^\n]*\n  {[^}]*}\n" reloc "${script}")
  if(NOT rsrc OR NOT reloc)
    message(FATAL_ERROR "the default linker script of ${ld} has no .rsrc or .reloc block to reorder")
  endif()
  string(REPLACE "${rsrc}" "" script "${script}")
  string(REPLACE "${reloc}" "${reloc}${rsrc}" script "${script}")
  set(file ${CMAKE_BINARY_DIR}/resources-last.ld)
  file(WRITE ${file} "${script}")
  set(${out} ${file} PARENT_SCOPE)
endfunction()
