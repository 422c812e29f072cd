#!/usr/bin/env bash
# Says in one line why the bridge of a build could not load a module, from
# what that build's checker reports about it: the loader's own words and the
# likely cause; for a module of a kind the bridge does not load (another
# architecture, another system, another width), the module's kind and what
# the bridge loads; or why the module could not be played where the bridge
# would play it (a 32-bit companion, a sandbox). scripts/demo.sh uses it.
#   scripts/explain-load-failure.sh <build folder> [--sandbox] <module path>
set -euo pipefail
build=$1
shift
checker_options=(--smoke)
if [[ ${1:-} == --sandbox ]]; then
    checker_options+=(--sandbox)
    shift
fi
module=$1
checker=$build/tools/aimodule_check/aimodule-check
diagnosis=$("$checker" "${checker_options[@]}" "$module" 2>&1 || true)

# The text after a heading of the report, first line only.
field() { sed -n "s/^$1//p" <<<"$diagnosis" | head -1; }
with_article() { if [[ $1 == [AEIOUaeiou]* ]]; then echo "an $1"; else echo "a $1"; fi; }

error=$(field 'does not load: ')
cause=$(field 'likely cause: ')
kind=$(field 'kind: ')
not_run=$(field 'smoke session: not run, ')
# "not run here: this checker loads modules of the kind ELF shared library
# (x86_64), so this one is judged from its file": what this build loads.
here=$(field 'not run here: this checker loads modules of the kind ' | sed 's/, so this one is judged from its file.*//')
companion_i386=$build/bridge/vantrell-companion-i386

loads=""
if [[ -n $here ]]; then
    loads=" (this bridge loads $(with_article "$here")"
    [[ -x $companion_i386 ]] && loads+=", or a 32-bit x86 one through vantrell-companion-i386"
    loads+=")"
fi

if [[ -n $error ]]; then
    echo "$error${cause:+ (likely cause: $cause)}"
elif [[ $kind == *Windows* ]]; then
    echo "it is $(with_article "$kind"), which only a host on Windows can load$loads"
elif [[ $kind == ELF*'(32-bit x86)' && ! -x $companion_i386 ]]; then
    echo "it is $(with_article "$kind"), which a 64-bit host plays through vantrell-companion-i386, and this build" \
        "has none (it needs g++-multilib: apt-get install g++-multilib, then build again)"
elif [[ -n $here ]]; then
    echo "it is $(with_article "$kind"), built for another architecture$loads"
elif [[ -n $kind ]]; then
    echo "it is $(with_article "$kind"), which this bridge plays through a companion of its width:" \
        "${not_run:-the bridge refused it, though $checker --smoke plays it}"
elif [[ -n $not_run ]]; then
    echo "$not_run"
else
    echo "the bridge refused it, though $checker ${checker_options[*]} plays it"
fi
