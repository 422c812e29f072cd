# VANTRELL_I386_WINE_DIR: where emulation/setup-i386-wine.sh set up qemu-i386
# and 32-bit Wine under it, for machines that refuse 32-bit programs (the
# same default as the script's: $VANTRELL_I386_WINE_DIR, else the user's
# cache folder).
include_guard(GLOBAL)

if(DEFINED ENV{VANTRELL_I386_WINE_DIR})
  set(_emulation_default "$ENV{VANTRELL_I386_WINE_DIR}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(_emulation_default "$ENV{XDG_CACHE_HOME}/vantrell/i386-wine")
else()
  set(_emulation_default "$ENV{HOME}/.cache/vantrell/i386-wine")
endif()
set(VANTRELL_I386_WINE_DIR "${_emulation_default}" CACHE PATH
    "Where emulation/setup-i386-wine.sh set up 32-bit Wine under qemu-i386")
