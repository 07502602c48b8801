# Fails when an engine source includes anything but another engine's header, the platform's
# pure text helpers, the standard library or the C library's pure headers. The engines' include path reaches kavlink/ (for
# "dlms/hdlc.h" and the like), so the compiler alone would let a COM class, a channel or
# the module in; this keeps them out.
#
# -DENGINE_ROOT=<kavlink/> -DENGINE_FILES=<sources and headers, ;-separated>
# -DSTAMP=<file written when every file passes>
cmake_minimum_required(VERSION 3.25)

# Standard and C headers with nothing of I/O, threads or the system in them.
set(allowed_system
  algorithm array bit cassert cctype cerrno climits cmath compare concepts cstddef cstdint
  cstdio cstdlib cstring functional initializer_list iterator limits map memory numeric
  optional span stdexcept string string_view tuple type_traits utility variant vector)

# Header-only text handling of the platform, with nothing of I/O, COM or the code page in it:
# one copy of it serves the engines, the COM classes and the platform alike.
set(allowed_platform text/trim.h)

set(engine_headers)
foreach(file IN LISTS ENGINE_FILES)
  if(file MATCHES "\\.h$")
    file(RELATIVE_PATH rel ${ENGINE_ROOT} ${file})
    list(APPEND engine_headers ${rel})
  endif()
endforeach()

set(faults)
foreach(file IN LISTS ENGINE_FILES)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
  file(RELATIVE_PATH rel ${ENGINE_ROOT} ${file})
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      if(NOT CMAKE_MATCH_1 IN_LIST engine_headers AND NOT CMAKE_MATCH_1 IN_LIST allowed_platform)
        list(APPEND faults "${rel}: \"${CMAKE_MATCH_1}\" is not an engine header "
                           "(ENGINE_PATTERNS in kavlink/CMakeLists.txt names them)")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
      if(NOT CMAKE_MATCH_1 IN_LIST allowed_system)
        list(APPEND faults "${rel}: <${CMAKE_MATCH_1}> is not for an engine")
      endif()
    else()
      list(APPEND faults "${rel}: an include the check cannot read: ${line}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "The engines include what they must not (bytes in, bytes out: no COM, "
                      "channels, module or I/O):\n  ${text}")
endif()
file(WRITE ${STAMP} "")
