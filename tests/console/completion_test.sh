#!/usr/bin/env bash
# completion_test.sh COMPLETIONS UKAVLEN KAVLEN_SIM: the bash completions of
# packaging/bash-completion/ asked, as bash asks them, for the words of a
# table of command lines; and their option lists against what the programs'
# --help lists, so that a new option cannot be left out.
set -u
dir=$(realpath "$1") ukavlen=$(realpath "$2") sim=$(realpath "$3")
# shellcheck source=/dev/null
source "$dir/ukavlen"
# shellcheck source=/dev/null
source "$dir/kavlen-sim"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir roms 'with blank' && touch rom.bin rom.hex other.s19 'with blank/x.bin'

failed=0
# expect FUNCTION "WORDS..." "COMPLETIONS": the last word is the one completed
expect() {
  local -a words
  read -r -a words <<<"$2"
  [[ $2 == *" " ]] && words+=("")
  COMP_WORDS=("${words[@]}")
  COMP_CWORD=$((${#words[@]} - 1))
  COMPREPLY=()
  "$1"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  if [[ $got != "$3" ]]; then
    echo "FAIL: $2| gives '$got', want '$3'"
    failed=1
  fi
}
expect _ukavlen "ukavlen -d ro" "rom.bin rom.hex roms "
expect _ukavlen "ukavlen --read w" "with blank "
expect _ukavlen "ukavlen -v -d rom.bin --format " "bin ihex srec "
expect _ukavlen "ukavlen -d rom.bin --progress p" "plain "
expect _ukavlen "ukavlen -f " "0 1 2 "
expect _ukavlen "ukavlen --d" "--device --doctor --dry-run "
expect _ukavlen "ukavlen --device " " "
expect _kavlen_sim "kavlen-sim --state " "boot os "
expect _kavlen_sim "kavlen-sim --dir w" "with blank "
expect _kavlen_sim "kavlen-sim --dump o" "other.s19 "
expect _kavlen_sim "kavlen-sim --no-pipe P" "PIPE00 PIPE01 "
expect _kavlen_sim "kavlen-sim --re" "--ready-after --refuse-open --reset-after --reset-never "

# every option --help lists is completed, and nothing else
listed() { grep -oE '(^| |\[)-(-[a-z-]+|[a-z?])' | tr -d ' [' | sort -u | tr '\n' ' '; }
completed() {
  COMP_WORDS=("$1" "-")
  COMP_CWORD=1
  "$2"
  printf '%s\n' "${COMPREPLY[@]}" | sort -u | tr '\n' ' '
}
want=$("$ukavlen" --help | sed -n '/^Usage/d; /^ -/p' | listed)
got=$(completed ukavlen _ukavlen)
[[ $got == "$want" ]] || { echo "FAIL: ukavlen completes '$got', --help lists '$want'"; failed=1; }
want=$( ("$sim" --help; echo ' --help') | sed 's/^usage: kavlen-sim//' | listed)
got=$(completed kavlen-sim _kavlen_sim)
[[ $got == "$want" ]] || { echo "FAIL: kavlen-sim completes '$got', --help lists '$want'"; failed=1; }
exit $failed
