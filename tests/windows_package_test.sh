#!/usr/bin/env bash
# The Windows zip that `cpack -G ZIP` makes holds quillet.exe, the manual as text and the README,
# and quillet.exe asks for no DLL but Windows's own: copied alone, it runs.
# Usage: windows_package_test.sh path/to/build-directory path/to/objdump
# The wine to run it with is $QUILLET_WINE (default: wine).
set -u
build=$(realpath "$1")
objdump=$2
wine=${QUILLET_WINE:-wine}
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"

(cd "$work" && cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(tail -n 5 "$work/cpack.log")"
zip=$(ls "$work"/out/*.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || fail "no zip was made"
if [ -n "$zip" ]; then
  mkdir "$work/unzipped" && (cd "$work/unzipped" && cmake -E tar xf "$zip")
  top=$(ls -d "$work"/unzipped/*/ | head -n 1)
  for file in quillet.exe quillet.txt README.md; do
    [ -f "$top/$file" ] || fail "the zip holds no $file"
  done
  grep -q $'^NAME\r$' "$top/quillet.txt" || fail "the manual is no text with Windows's line ends"
  ! grep -q $'\b' "$top/quillet.txt" || fail "the manual holds overstruck letters"
  # Windows's own DLLs only: none of the compiler's (libstdc++, libgcc, libwinpthread).
  dlls=$("$objdump" -p "$top/quillet.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
  for dll in $dlls; do
    case $dll in
      kernel32.dll | ntdll.dll | advapi32.dll | shell32.dll | user32.dll | msvcrt.dll) ;;
      *) fail "quillet.exe needs $dll, which Windows does not have" ;;
    esac
  done
  mkdir "$work/alone" && cp "$top/quillet.exe" "$work/alone/"
  version=$("$wine" "$work/alone/quillet.exe" -version | tr -d '\r')
  [ "$version" = "quillet $(sed -n 's/^project(quillet VERSION \([0-9.]*\).*/\1/p' \
    "$(dirname "$0")/../CMakeLists.txt")" ] || fail "the copied quillet.exe says [$version]"
fi
finish
