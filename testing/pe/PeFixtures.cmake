# Real Windows DLLs for the tests of the PE resource layer and of the tools
# above it, built at build time from the resource scripts and the tiny
# assembly beside this file by the MinGW-w64 binutils.
#
#   ju_pe_fixtures(<target>)  makes <target> depend on the fixtures and gives
#                             it JU_PE_FIXTURES="<folder of the DLLs>" and
#                             JU_PE_CHECK="<the pefile checker script>".
#
# Fixtures: last.dll (version resource, .rsrc is the last section),
# reloc.dll (.reloc follows .rsrc; COFF symbols kept), multi.dll (several
# types, named and numbered, several languages), overlay.dll (last.dll with
# trailing data), strings.dll (a string table, no version resource),
# signed.dll (reloc.dll with a certificate table after its symbols),
# signed_last.dll (last.dll with a certificate table right behind .rsrc), big.dll (a 20 MiB data
# section, for the benchmark).
include_guard(GLOBAL)

set(JU_PE_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "testing/pe")

function(ju_pe_define_fixtures)
  if(TARGET ju_pe_fixtures)
    return()
  endif()
  find_program(JU_MINGW_AS x86_64-w64-mingw32-as REQUIRED)
  find_program(JU_MINGW_LD x86_64-w64-mingw32-ld REQUIRED)
  find_program(JU_MINGW_WINDRES x86_64-w64-mingw32-windres REQUIRED)
  find_program(JU_CPP cpp REQUIRED)
  set(out ${PROJECT_BINARY_DIR}/testing/pe)
  set(src ${JU_PE_SOURCE_DIR})
  set(tool ${Python3_EXECUTABLE} ${src}/fixture_tool.py)
  file(MAKE_DIRECTORY ${out})

  foreach(asm dll big)
    add_custom_command(OUTPUT ${out}/${asm}.o
      COMMAND ${JU_MINGW_AS} -o ${out}/${asm}.o ${src}/${asm}.s
      DEPENDS ${src}/${asm}.s VERBATIM)
  endforeach()
  foreach(rc version multi strings)
    add_custom_command(OUTPUT ${out}/${rc}.res.o
      COMMAND ${JU_MINGW_WINDRES} --preprocessor=${JU_CPP} -c 65001 -i ${src}/${rc}.rc -o ${out}/${rc}.res.o
      DEPENDS ${src}/${rc}.rc VERBATIM)
  endforeach()

  set(link ${JU_MINGW_LD} --dll -e DllMain --no-insert-timestamp)
  set(noreloc --disable-reloc-section -s)
  # name, resources, extra linker options
  macro(ju_pe_link name res)
    add_custom_command(OUTPUT ${out}/${name}.dll
      COMMAND ${link} ${ARGN} -o ${out}/${name}.dll ${out}/dll.o ${out}/${res}.res.o
      DEPENDS ${out}/dll.o ${out}/${res}.res.o VERBATIM)
  endmacro()
  ju_pe_link(last version ${noreloc})
  ju_pe_link(reloc version)
  ju_pe_link(multi multi ${noreloc})
  ju_pe_link(strings strings ${noreloc})
  add_custom_command(OUTPUT ${out}/big.dll
    COMMAND ${link} -s -o ${out}/big.dll ${out}/big.o ${out}/version.res.o
    DEPENDS ${out}/big.o ${out}/version.res.o VERBATIM)
  add_custom_command(OUTPUT ${out}/overlay.dll
    COMMAND ${tool} overlay ${out}/last.dll ${out}/overlay.dll 5000
    DEPENDS ${out}/last.dll ${src}/fixture_tool.py VERBATIM)
  add_custom_command(OUTPUT ${out}/signed.dll
    COMMAND ${tool} certificate ${out}/reloc.dll ${out}/signed.dll
    DEPENDS ${out}/reloc.dll ${src}/fixture_tool.py VERBATIM)
  add_custom_command(OUTPUT ${out}/signed_last.dll
    COMMAND ${tool} certificate ${out}/last.dll ${out}/signed_last.dll
    DEPENDS ${out}/last.dll ${src}/fixture_tool.py VERBATIM)

  add_custom_target(ju_pe_fixtures DEPENDS
    ${out}/last.dll ${out}/reloc.dll ${out}/multi.dll ${out}/strings.dll
    ${out}/overlay.dll ${out}/signed.dll ${out}/signed_last.dll ${out}/big.dll)
  set_property(GLOBAL PROPERTY JU_PE_FIXTURES_DIR ${out})
endfunction()

function(ju_pe_fixtures target)
  ju_pe_define_fixtures()
  get_property(dir GLOBAL PROPERTY JU_PE_FIXTURES_DIR)
  add_dependencies(${target} ju_pe_fixtures)
  target_compile_definitions(${target} PRIVATE JU_PE_FIXTURES="${dir}"
    JU_PE_CHECK="${JU_PE_SOURCE_DIR}/pe_check.py")
endfunction()
