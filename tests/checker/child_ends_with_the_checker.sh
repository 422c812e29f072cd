#!/bin/sh
# A smoke child never outlives the checker: the checker is killed while its
# child hangs in a module call (in the sandbox, in a session of its own,
# where no terminal's signal reaches it); the child must end with it.
#   child_ends_with_the_checker.sh <checker> <module that hangs> [checker options]
checker=$1 module=$2
shift 2
# The killed checker's records stay behind: in a folder of this test's own.
TMPDIR=$(mktemp -d)
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
"$checker" --smoke "$@" --call-timeout 600 "$module" >/dev/null 2>&1 &
parent=$!
children_of() { awk -v parent="$1" '$4 == parent { print $1 }' /proc/[0-9]*/stat 2>/dev/null; }
# A process that has ended but is not reaped yet (a zombie) counts as ended.
alive() {
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}
child=
tries=0
while [ -z "$child" ] && [ $tries -lt 300 ]; do
    child=$(children_of $parent)
    tries=$((tries + 1))
    sleep 0.1
done
if [ -z "$child" ]; then
    kill -9 $parent
    echo "the checker started no child"
    exit 1
fi
# Into the call that hangs, past the load.
sleep 1
kill -9 $parent
wait $parent 2>/dev/null
tries=0
while alive "$child" && [ $tries -lt 100 ]; do
    tries=$((tries + 1))
    sleep 0.1
done
if alive "$child"; then
    kill -9 "$child"
    echo "the child $child outlived the checker"
    exit 1
fi
echo "the child ended with the checker"
