# The processor programs' operation tables: each program folder holds an operations.table
# with one line per operation, "program method description" (program: the name the program
# is linked under; method: the name the configuration maps to it; description: one line for
# the docs). The build reads a table to compile and link its program (vtps_pdf_program), and
# cmake/DeriveFromTables.cmake reads them all to write the files derived from them. Usable in
# project and in script mode.

# The program folders, in the order the derived files list them.
set(VTPS_PROGRAM_FOLDERS
  processors/pdf/vtps-pdf
  processors/pdf/vtps-pdf-draw
  processors/pdf/vtps-pdf-metadata
  processors/pdf/vtps-pdf-office
  processors/pdf/vtps-pdf-html)

# vtps_read_operation_table(TABLE PREFIX) sets PREFIX_PROGRAMS, PREFIX_METHODS and
# PREFIX_DESCRIPTIONS in the caller, in table order. Stops with a message naming the table
# and the line when a line is malformed.
function(vtps_read_operation_table table prefix)
  file(STRINGS ${table} lines ENCODING UTF-8)
  set(programs "")
  set(methods "")
  set(descriptions "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(#|$)")
      continue()
    endif()
    if(NOT line MATCHES "^(pdf-[a-z0-9]+(-[a-z0-9]+)*)[ \t]+([A-Z][A-Za-z0-9]*)[ \t]+([^ \t\"\\\\][^\"\\\\]*)$")
      message(FATAL_ERROR "${table}: the line \"${line}\" is not \"pdf-name Method what it does\" "
        "(a program name of lower-case words joined by -, a method name, a description without "
        "quotes or backslashes)")
    endif()
    list(APPEND programs ${CMAKE_MATCH_1})
    list(APPEND methods ${CMAKE_MATCH_3})
    string(STRIP "${CMAKE_MATCH_4}" description)
    list(APPEND descriptions "${description}")
  endforeach()
  if(NOT programs)
    message(FATAL_ERROR "${table}: no operation is listed")
  endif()
  set(${prefix}_PROGRAMS ${programs} PARENT_SCOPE)
  set(${prefix}_METHODS ${methods} PARENT_SCOPE)
  set(${prefix}_DESCRIPTIONS "${descriptions}" PARENT_SCOPE)
endfunction()

# vtps_operation_source(PROGRAM VAR): the source file of the operation linked as PROGRAM:
# pdf-page-numbers gives page_numbers.cpp.
function(vtps_operation_source program var)
  string(REGEX REPLACE "^pdf-" "" name ${program})
  string(REPLACE "-" "_" name ${name})
  set(${var} ${name}.cpp PARENT_SCOPE)
endfunction()
