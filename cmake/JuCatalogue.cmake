# ju_message_catalogue(<var> SOURCE <data file> SYMBOL <table name> PREFIX <id prefix>
#                      HEADER <include path>)
# Generates, from one message catalogue data file (format: scripts/gen_catalogue.py),
# the C++ table <SYMBOL> and a header of the catalogue's named ids, each
# <PREFIX><Name>, included as "<HEADER>". Sets <var>_SOURCES (both files, for
# the sources of the target that carries the catalogue) and <var>_INCLUDE_DIR
# (the include path that reaches the header).
function(ju_message_catalogue var)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SOURCE;SYMBOL;PREFIX;HEADER" "")
  set(generator ${PROJECT_SOURCE_DIR}/scripts/gen_catalogue.py)
  set(include_dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
  set(table ${CMAKE_CURRENT_BINARY_DIR}/${arg_SYMBOL}.cpp)
  set(header ${include_dir}/${arg_HEADER})
  add_custom_command(
    OUTPUT ${table} ${header}
    COMMAND Python3::Interpreter ${generator} --input ${arg_SOURCE} --table ${table} --header ${header}
            --symbol ${arg_SYMBOL} --prefix ${arg_PREFIX}
    DEPENDS ${arg_SOURCE} ${generator}
    COMMENT "Generating the message catalogue ${arg_SYMBOL}")
  set(${var}_SOURCES ${table} ${header} PARENT_SCOPE)
  set(${var}_INCLUDE_DIR ${include_dir} PARENT_SCOPE)
endfunction()
