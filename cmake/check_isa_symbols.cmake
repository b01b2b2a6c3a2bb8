cmake_minimum_required(VERSION 3.25)
# Fails when an object built with an instruction set's flags defines a global or weak symbol outside that
# set's own namespace. Such a symbol (an out-of-line copy of a shared inline function, say) may be the copy
# the linker keeps for every caller, and a CPU without the set would then meet an instruction it lacks. Run
# by the build on the render library (see src/render/CMakeLists.txt) with NM, the nm of ELF objects, and
# OBJECTS, a ;-list of object/namespace pairs joined by '='.
find_program(CXXFILT c++filt)
set(bad "")
foreach(pair IN LISTS OBJECTS)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 object)
  list(GET pair 1 namespace)
  execute_process(COMMAND ${NM} -P -g --defined-only ${object} OUTPUT_VARIABLE listing
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} could not list ${object}: ${errors}")
  endif()
  string(LENGTH "${namespace}" length)
  # A name in the namespace, mangled: _Z, any of the prefixes of guard variables (GV), thread-local
  # wrappers (TH, TW), type data (TI, TS, TV) and local statics (Z), then a nested name whose first part,
  # after any cv- and ref-qualifiers, is the namespace.
  set(own "^_Z(GV|T[HWISV]|Z)*N[rVKRO]*${length}${namespace}")
  # The one symbol allowed besides: the weak pointer to the C++ exception personality routine that every
  # object with unwinding data may carry (sanitizer builds emit it); data, the same in every object.
  set(allowed "^DW\\.ref\\.__gxx_personality_v0$")
  string(REPLACE "\n" ";" lines "${listing}")
  foreach(line IN LISTS lines)
    if(line STREQUAL "")
      continue()
    endif()
    string(REGEX REPLACE " .*" "" symbol "${line}")
    if(NOT symbol MATCHES "${own}" AND NOT symbol MATCHES "${allowed}")
      set(readable "${symbol}")
      if(CXXFILT)
        execute_process(COMMAND ${CXXFILT} ${symbol} OUTPUT_VARIABLE readable OUTPUT_STRIP_TRAILING_WHITESPACE)
      endif()
      string(APPEND bad "\n  ${object}: ${line} (${readable})")
    endif()
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "Code built with an instruction set's flags defines symbols outside its namespace; "
                      "compile what they come from inside the namespace, or keep it out of the file:${bad}")
endif()
file(TOUCH ${STAMP})
