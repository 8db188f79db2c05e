# Writes, or checks, the parts of other files that the programs' operation tables decide:
# the processor entries of the sample configurations (etc/ and packaging/etc/), the list of
# operations in README.md and the table of methods in docs/processors.md. Each part stands
# between a "begin" and an "end" line that name this script; the rest of each file is left as
# it is. Script mode:
#   cmake -DMODE=write -P cmake/DeriveFromTables.cmake   (the build's target derived-files)
#   cmake -DMODE=check -P cmake/DeriveFromTables.cmake   (the test derived_files_current)
# "check" fails naming every file that is not what the tables give.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/OperationTables.cmake)
get_filename_component(source ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
if(NOT MODE STREQUAL "write" AND NOT MODE STREQUAL "check")
  message(FATAL_ERROR "DeriveFromTables.cmake: set MODE to write or check")
endif()

# Every table must be one of the program folders, or its operations would be left out.
file(GLOB_RECURSE tables RELATIVE ${source} ${source}/processors/*operations.table)
foreach(table IN LISTS tables)
  get_filename_component(folder ${table} DIRECTORY)
  if(NOT folder IN_LIST VTPS_PROGRAM_FOLDERS)
    message(FATAL_ERROR "${table} is not one of VTPS_PROGRAM_FOLDERS in cmake/OperationTables.cmake")
  endif()
endforeach()

set(configuration "")
set(readme "")
set(methods "| method | program | in | what it does |\n|---|---|---|---|\n")
foreach(folder IN LISTS VTPS_PROGRAM_FOLDERS)
  get_filename_component(program ${folder} NAME)
  vtps_read_operation_table(${source}/${folder}/operations.table TABLE)
  set(line "- `${program}`:")
  set(separator " ")
  foreach(name method description IN ZIP_LISTS TABLE_PROGRAMS TABLE_METHODS TABLE_DESCRIPTIONS)
    string(APPEND configuration "\t\t\t\t<${method}>${name}</${method}>\n")
    string(APPEND line "${separator}`${method}` (`${name}`)")
    set(separator ", ")
    string(APPEND methods "| `${method}` | `${name}` | `${program}` | ${description} |\n")
  endforeach()
  string(APPEND readme "${line}\n")
endforeach()

set(stale "")
# vtps_derive(FILE CONTENT): the lines between the begin and end lines of FILE become CONTENT.
function(vtps_derive file content)
  set(path ${source}/${file})
  file(READ ${path} text)
  set(begin "begin: written from the operation tables (cmake/DeriveFromTables.cmake)")
  set(end "end: written from the operation tables")
  string(FIND "${text}" "${begin}" at)
  string(FIND "${text}" "${end}" until)
  if(at EQUAL -1 OR until EQUAL -1 OR until LESS at)
    message(FATAL_ERROR "${file} has no lines \"${begin}\" and \"${end}\"")
  endif()
  # From the line after the begin marker's to the start of the end marker's line.
  string(SUBSTRING "${text}" ${at} -1 after)
  string(FIND "${after}" "\n" newline)
  math(EXPR start "${at} + ${newline} + 1")
  string(SUBSTRING "${text}" 0 ${until} before)
  string(FIND "${before}" "\n" lineStart REVERSE)
  math(EXPR stop "${lineStart} + 1")
  string(SUBSTRING "${text}" 0 ${start} head)
  string(SUBSTRING "${text}" ${stop} -1 tail)
  set(wanted "${head}${content}${tail}")
  if(NOT wanted STREQUAL text)
    if(MODE STREQUAL "write")
      file(WRITE ${path} "${wanted}")
      message(STATUS "wrote ${file}")
    else()
      set(stale ${stale} ${file} PARENT_SCOPE)
    endif()
  endif()
endfunction()

vtps_derive(etc/ntr-configuration.xml "${configuration}")
vtps_derive(packaging/etc/ntr-configuration.xml "${configuration}")
vtps_derive(README.md "${readme}")
vtps_derive(docs/processors.md "${methods}")

if(stale)
  string(REPLACE ";" ", " stale "${stale}")
  message(FATAL_ERROR "${stale}: not what the operation tables give; write them again with "
    "`cmake --build --preset linux --target derived-files` "
    "(or `cmake -DMODE=write -P cmake/DeriveFromTables.cmake`)")
endif()
