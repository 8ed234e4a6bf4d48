# Puts an empty phone book at PHONEBOOK unless one is already there.
# Usage: cmake -DPHONEBOOK=<path>/db.mdb -DSCHEMA=<path>/phonebook-schema.sql -P ensure-phonebook.cmake
if(EXISTS "${PHONEBOOK}")
  return()
endif()
find_program(SQLITE3 sqlite3 REQUIRED)
execute_process(COMMAND "${SQLITE3}" "${PHONEBOOK}" INPUT_FILE "${SCHEMA}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  file(REMOVE "${PHONEBOOK}")
  message(FATAL_ERROR "could not create ${PHONEBOOK}")
endif()
message(STATUS "Created an empty phone book: ${PHONEBOOK}")
