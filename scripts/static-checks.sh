#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) and cppcheck on the portable core: foundation/, service/,
# tray/, mainwindow/ and worker/ outside their win32/ folders. The win32 adapters are left to the mingw
# compilers' warnings, which are errors there. clang-tidy takes each file's flags from a native
# build tree's compile_commands.json (default build/native; NIMBELLO_STATIC_TREE picks another).
# The facts that the README and the help share are checked too. Any finding fails the run. Exit 0 only when both tools are clean.
set -euo pipefail
cd "$(dirname "$0")/.."
tree="${NIMBELLO_STATIC_TREE:-build/native}"
jobs="${NIMBELLO_JOBS:-2}"

mapfile -t core < <(ls foundation/base/*.cpp foundation/*.cpp service/*.cpp tray/*.cpp mainwindow/*.cpp worker/*.cpp 2>/dev/null | grep -v 'Program\.cpp$')
if ((${#core[@]} == 0)); then
  echo "static checks: no core sources found" >&2
  exit 1
fi

# A file added since the tree was configured is not in its compile commands yet; configuring again
# picks it up (the libraries glob their folders).
needs_configure=0
if [ ! -f "$tree/compile_commands.json" ]; then
  needs_configure=1
else
  for f in "${core[@]}"; do
    grep -qF "$PWD/$f" "$tree/compile_commands.json" || { needs_configure=1; break; }
  done
fi
if ((needs_configure)); then
  cmake --preset native -B "$tree" >/dev/null
fi

status=0
log=$(mktemp)
echo "help facts: README, help and policy template against docs/help/facts.json and the settings table (build/native's nimbello-settings), the installer's exit codes"
python3 docs/help/make_help.py check || status=1

trap 'rm -f "$log"' EXIT

# foundation/base/ knows nothing of Nimbello and includes only itself; the rest of foundation/ is
# the one floor the programs share and includes only foundation/; each program's folder (win32/
# included) includes only foundation/ and itself.
echo "include rule: foundation/base/ only itself, foundation/ only itself, every program folder foundation/ and itself"
if grep -rnE '^\s*#\s*include\s+"' foundation/base --include='*.cpp' --include='*.h' |
  grep -vE '#\s*include\s+"foundation/base/'; then
  status=1
fi
for dir in foundation service tray mainwindow worker updater; do
  allowed=foundation
  [ "$dir" = foundation ] || allowed="foundation|$dir"
  if grep -rnE '^\s*#\s*include\s+"' "$dir" --include='*.cpp' --include='*.h' |
    grep -vE "#\s*include\s+\"($allowed)/"; then
    status=1
  fi
done

echo "clang-tidy: ${#core[@]} files, $jobs at a time"
# WarningsAsErrors in .clang-tidy makes every finding an error and a non-zero exit.
if ! printf '%s\n' "${core[@]}" |
  xargs -P "$jobs" -n 2 clang-tidy -p "$tree" --quiet >"$log" 2>&1; then
  status=1
fi
# Keep the findings, drop the per-file "N warnings generated." noise.
if grep -qE '(warning|error):' "$log"; then
  grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^Error while processing' "$log" || true
  status=1
fi

echo "cppcheck: ${#core[@]} files"
# throwInNoexceptFunction is off: cppcheck charges a throw inside the body handed to guarded() to the
# noexcept handler around it, although guarded() catches everything. A throw straight in a noexcept
# function is still caught by the compilers (-Wterminate, an error with -Werror).
if ! cppcheck --quiet --std=c++20 --language=c++ -j "$jobs" \
  --enable=warning,performance,portability --inline-suppr -I . \
  --suppress=missingIncludeSystem --suppress=unmatchedSuppression \
  --suppress=throwInNoexceptFunction \
  --template='{file}:{line}:{column}: {severity}: {message} [{id}]' \
  --error-exitcode=1 "${core[@]}"; then
  status=1
fi

if ((status != 0)); then
  echo "static checks found problems" >&2
  exit 1
fi
echo "static checks clean"
