#!/usr/bin/env bash
# Reads a build's output on standard input and prints "Built target NAME"
# once per target, the moment its line arrives. Plain bash reads line by
# line; awk (mawk, Debian's default) would read its input in blocks and hold
# every line back until the build ends.
set -uo pipefail
declare -A seen=()
while IFS= read -r line || [[ -n $line ]]; do
  [[ $line == *"Built target "* ]] || continue
  target=${line#*Built target }
  target=${target%$'\r'}
  [[ -n $target && -z ${seen[$target]:-} ]] || continue
  seen[$target]=1
  printf 'Built target %s\n' "$target"
done
