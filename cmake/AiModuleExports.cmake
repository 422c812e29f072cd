# The pre-link step of add_ai_module (cmake/AiModule.cmake): reads which
# contract functions the module's objects define, refuses what the bridge
# could never find, and writes the export list the link uses. So the
# exports come from what the sources define, the same on every platform.
#
#   cmake -DNM=<nm> -DOBJECTS=<a.o|b.o> -DCONTRACT=<name:bytes|...> [-DLISTED=<name|...>]
#         -DSTYLE=elf|x86|x64 -DOUTPUT=<file> -DTARGET=<name> -P AiModuleExports.cmake
#
# STYLE says how a defined contract function is spelt in an object file:
#   elf  "_abortGame$4", the placeholder ai_module.h gives it
#   x86  "_abortGame@4", the __stdcall decoration
#   x64  "abortGame", no decoration
# OUTPUT is a linker version script (elf) or a module-definition file.
cmake_policy(VERSION 3.25)

string(REPLACE "|" ";" objects "${OBJECTS}")
string(REPLACE "|" ";" contract "${CONTRACT}")
string(REPLACE "|" ";" listed "${LISTED}")

set(symbols)
foreach(object IN LISTS objects)
  execute_process(COMMAND "${NM}" -g --defined-only "${object}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "add_ai_module(${TARGET}): ${NM} failed on ${object}: ${errors}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  foreach(line IN LISTS lines)
    # "<address> <type> <name>"; code and data alike.
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
      list(APPEND symbols "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endforeach()

function(expected_symbol name bytes out_var)
  if(STYLE STREQUAL "elf")
    set(${out_var} "_${name}$${bytes}" PARENT_SCOPE)
  elseif(STYLE STREQUAL "x86")
    set(${out_var} "_${name}@${bytes}" PARENT_SCOPE)
  else()
    set(${out_var} "${name}" PARENT_SCOPE)
  endif()
endfunction()

# Why a symbol that names `name` is not the contract function, or nothing.
function(near_miss symbol name bytes out_var)
  set(why "")
  string(LENGTH "${name}" length)
  if(symbol MATCHES "^_*Z${length}${name}[^A-Za-z0-9_]?")
    set(why "it has C++ linkage (\"${symbol}\"): include ai_module.h before defining it, or declare it extern \"C\"")
  elseif(STYLE STREQUAL "elf" AND symbol STREQUAL "${name}")
    set(why "it is defined without ai_module.h's declaration, which gives it its export name: include ai_module.h")
  elseif(STYLE STREQUAL "x86" AND symbol MATCHES "^_${name}@([0-9]+)$")
    set(why "it takes ${CMAKE_MATCH_1} bytes of parameters, the contract's ${name} takes ${bytes}: check its signature")
  elseif(STYLE STREQUAL "x86" AND symbol STREQUAL "_${name}")
    set(why "it is not __stdcall: declare it with AI_CALL, as ai_module.h does")
  endif()
  set(${out_var} "${why}" PARENT_SCOPE)
endfunction()

set(defined)
set(problems)
foreach(entry IN LISTS contract)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 bytes)
  expected_symbol(${name} ${bytes} wanted)
  if(wanted IN_LIST symbols)
    list(APPEND defined "${name}:${bytes}:${wanted}")
    if(listed AND NOT name IN_LIST listed)
      list(APPEND problems "${name} is defined, but FUNCTIONS leaves it out: add it to FUNCTIONS, or leave FUNCTIONS out to export what the sources define")
    endif()
    continue()
  endif()
  set(misses)
  foreach(symbol IN LISTS symbols)
    near_miss("${symbol}" ${name} ${bytes} why)
    if(why)
      list(APPEND misses "${why}")
    endif()
  endforeach()
  if(misses)
    list(JOIN misses "; " misses)
    list(APPEND problems "${name} is defined, but the bridge would never find it: ${misses}")
  elseif(name IN_LIST listed)
    list(APPEND problems "${name} is listed in FUNCTIONS, but no source of the module defines it")
  endif()
endforeach()
if(NOT defined AND NOT problems)
  list(APPEND problems "the sources define none of the contract's functions (include ai_module.h and define them with its signatures)")
endif()
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "add_ai_module(${TARGET}):\n  ${text}")
endif()

if(STYLE STREQUAL "elf")
  set(globals)
  foreach(entry IN LISTS defined)
    string(REPLACE ":" ";" entry "${entry}")
    list(GET entry 2 symbol)
    string(APPEND globals "    ${symbol};\n")
  endforeach()
  set(text "{\n  global:\n${globals}  local:\n    *;\n};\n")
else()
  # "<export name> = <the linker's name>": MinGW's linker spells symbols
  # without the leading underscore of x86 C names.
  set(text "EXPORTS\n")
  foreach(entry IN LISTS defined)
    string(REPLACE ":" ";" entry "${entry}")
    list(GET entry 0 name)
    list(GET entry 1 bytes)
    list(GET entry 2 symbol)
    if(STYLE STREQUAL "x86")
      string(SUBSTRING "${symbol}" 1 -1 symbol)
    endif()
    string(APPEND text "    _${name}@${bytes} = ${symbol}\n")
  endforeach()
endif()
# Rewritten only when it changes, so that an unchanged list relinks nothing
# by itself.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
