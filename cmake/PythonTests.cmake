# ORVIMAPI_PYTHON: the interpreter that runs the Python binding's tests and
# examples, when it can load this build's libraries: one of the same word
# size, and not a sanitizer build (its runtime must come first in a process).
set(ORVIMAPI_PYTHON "")
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND AND NOT ORVIMAPI_SANITIZE)
  execute_process(COMMAND "${Python3_EXECUTABLE}" -c "import struct; print(struct.calcsize('P'))"
                  OUTPUT_VARIABLE _python_pointer OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(_python_pointer STREQUAL CMAKE_SIZEOF_VOID_P)
    set(ORVIMAPI_PYTHON "${Python3_EXECUTABLE}")
  endif()
endif()
