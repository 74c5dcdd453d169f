#!/usr/bin/env bash
# File names through the CMake functions, in a project that globs its assets:
# names made of the characters the build carries (a leading '-', quotes,
# brackets other than [ ], '&', '=', letters outside ASCII ...) are
# converted, previewed and compiled under Make and Ninja, and converted again
# when the picture or text changes; each character the functions refuse
# stops the configuration with one message that names the file and the
# character, and a name written to run CMake code runs none.
#
# file_names_test.sh <source root> <kestrin> <lortane> <kestrin-preview>
#                    <make_sample_picture> <cmake> <C compiler> <kestrin-prepare>
set -euo pipefail
root=$1 kestrin=$2 lortane=$3 preview=$4 make_picture=$5 cmake=$6 cc=$7 prepare=$8

source "$(dirname "$0")/../support/work_folder.sh"

src=$work/src
mkdir -p "$src"
cat >"$src/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.21)
project(file_names LANGUAGES C)
include("$root/cmake/KestrinLortaneFunctions.cmake")
add_executable(app main.c)
if(DEFINED PICTURE)  # one path, whole, where a glob's list would split it
  kestrin_add_header(app "\${PICTURE}" \${PICTURE_OPTIONS})
else()
  file(GLOB_RECURSE pictures "\${CMAKE_SOURCE_DIR}/\${FOLDER}/*.bmp")
  foreach(picture IN LISTS pictures)
    kestrin_add_header(app "\${picture}" \${PICTURE_OPTIONS})
  endforeach()
endif()
file(GLOB_RECURSE texts "\${CMAKE_SOURCE_DIR}/\${FOLDER}/*.text")
set(n 0)
foreach(text IN LISTS texts)
  math(EXPR n "\${n} + 1")
  lortane_add_source(app "\${text}" VARIABLE text_\${n})
endforeach()
CMAKE
printf 'int main(void) { return 0; }\n' >"$src/main.c"
tools=("-DKESTRIN_EXECUTABLE=$kestrin" "-DLORTANE_EXECUTABLE=$lortane"
  "-DKESTRIN_PREVIEW_EXECUTABLE=$preview" "-DKESTRIN_PREPARE_EXECUTABLE=$prepare"
  "-DCMAKE_C_COMPILER=$cc")
flat() {  # CMake wraps its messages: compare them as one line
  tr '\n' ' ' <"$1" | tr -s ' '
}

# Refused: names that ran code, went stale or broke the build, each alone in
# a folder of its own. The configuration fails, naming the file and the
# character.
refused() {  # refused <case> <file> <expected words> [<cmake argument>...]
  local case=$1 file=$2 words=$3
  shift 3
  mkdir -p "$src/$case/$(dirname "$file")"
  case $file in
    *.bmp) "$make_picture" "$src/$case/$file" 4 2 ;;
    *) printf 'a text\n' >"$src/$case/$file" ;;
  esac
  if "$cmake" -S "$src" -B "$work/refused" "${tools[@]}" "-DFOLDER=$case" -UPICTURE \
    -DPICTURE_OPTIONS= "$@" >"$work/$case.log" 2>&1; then
    fail "$case: $file configured"
  fi
  flat "$work/$case.log" | grep -qF -- "$words" ||
    fail "$case: the message does not say '$words': $(cat "$work/$case.log")"
}
# The name that ran code (file(TOUCH) in the source folder) in the folder
# the project globs, and a closing bracket of the same kind above a picture.
refused run $'p]==])\nfile(TOUCH PWNED)\nset(x [==[.bmp' \
  "$src/run/p]==]) file(TOUCH PWNED) set(x [==[.bmp holds a control character (0x0A)" \
  "-DPICTURE_OPTIONS=NAME;art.bmp"
[ ! -e "$src/PWNED" ] && [ ! -e "$src/run/PWNED" ] || fail "a file name ran CMake code"
refused bracket 'x]==]y/pic.bmp' "the path $src/bracket/x]==]y/pic.bmp holds ']'"
refused percent 'a%b.bmp' "the file name of $src/percent/a%b.bmp holds '%': Make reads it as a pattern"
refused percent_text 'a%b.text' "lortane_add_source: the file name of $src/percent_text/a%b.text holds '%'"
mkdir "$src/expression"
"$make_picture" "$src/expression/y.bmp" 8 2
refused expression '$<1:y>.bmp' "the path $src/expression/\$<1:y>.bmp holds '\$'"
refused semicolon 'a;b.bmp' "the path $src/semicolon/a;b.bmp holds ';'" "-DPICTURE=$src/semicolon/a;b.bmp"
refused quote 'a"b.bmp' "the file name of $src/quote/a\"b.bmp holds '\"': an #include cannot"
refused make_variable '$(x).bmp' "holds '\$'"
refused bar 'a|b.bmp' "holds '|'"
refused colon 'a:b.bmp' "holds ':'"
refused list_bracket 'p]=]q.bmp' "holds ']'"
refused name 'plain.bmp' "NAME a?b.bmp (for $src/name/plain.bmp) holds '?'" "-DPICTURE_OPTIONS=NAME;a?b.bmp"

# Carried: a name of every other character the build carries and a name
# that starts with '-', as pictures with Magic Pink, DECLARATIONS and PREVIEW
# (whose tool takes options) and as texts.
names=("-x" "it's a&b (c) {d}=e,f+g@h~i^j!k\`l é日")
mkdir "$src/carried"
generators=("Unix Makefiles")
if command -v ninja >/dev/null; then generators+=(Ninja); fi
for generator in "${generators[@]}"; do
  for name in "${names[@]}"; do
    "$make_picture" "$src/carried/$name.bmp" 4 2
    printf 'first\n' >"$src/carried/$name.text"
  done
  build=$work/build-${generator// /-}
  "$cmake" -S "$src" -B "$build" -G "$generator" "${tools[@]}" -DFOLDER=carried \
    "-DPICTURE_OPTIONS=MAGIC_PINK;DECLARATIONS;PREVIEW" >"$build.log" 2>&1 ||
    fail "$generator: the carried names do not configure: $(cat "$build.log")"
  expect() {  # expect <width> <line of the texts>
    for name in "${names[@]}"; do
      header=$build/kestrin_headers/app/$name.bmp.h
      grep -qx " \* Width : $1" "$header" || fail "$generator: $name.bmp.h is not $1 wide"
      [ "$header.png" -nt "$src/carried/$name.bmp" ] || fail "$generator: no new preview of $name.bmp"
      grep -qx "\"$2\"," "$build/lortane_sources/app/$name.text.c" ||
        fail "$generator: $name.text.c does not hold '$2'"
    done
  }
  "$cmake" --build "$build" -j2 >"$build.first.log" 2>&1 ||
    fail "$generator: the carried names do not build: $(cat "$build.first.log")"
  expect 4 first
  "$preview" --transparent -- "$build/kestrin_headers/app/-x.bmp.h" "$work/by-hand.png"
  cmp "$work/by-hand.png" "$build/kestrin_headers/app/-x.bmp.h.png" ||
    fail "$generator: the preview of -x.bmp is not kestrin-preview's own"
  sleep 1  # a new modification time, whatever the file system's resolution
  for name in "${names[@]}"; do
    "$make_picture" "$src/carried/$name.bmp" 6 2
    printf 'second\n' >"$src/carried/$name.text"
  done
  "$cmake" --build "$build" -j2 >"$build.second.log" 2>&1 ||
    fail "$generator: the changed files do not build: $(cat "$build.second.log")"
  expect 6 second
  "$cmake" --build "$build" -j2 >"$build.third.log" 2>&1 || fail "$generator: the third build failed"
  if grep -qE "Converting|Previewing" "$build.third.log"; then
    fail "$generator: a build with nothing changed converted again: $(cat "$build.third.log")"
  fi
done
if [ "${#generators[@]}" -lt 2 ]; then
  echo "SKIP: the refused names and Make as expected; no ninja to build the carried names with"
  exit 77
fi
echo "file names: the refused ones named at configure time, the carried ones built and rebuilt under Make and Ninja"
