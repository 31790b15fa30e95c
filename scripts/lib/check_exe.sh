# Checks that a built pravonell.exe is a GUI program that needs only Windows'
# own DLLs: check_exe FILE pe32|pe32+
check_exe() {
  local exe=$1 kind=$2 objdump
  case $kind in
    pe32) objdump=i686-w64-mingw32-objdump; want="(PE32)" ;;
    pe32+) objdump=x86_64-w64-mingw32-objdump; want="(PE32+)" ;;
  esac
  local header
  header=$("$objdump" -p "$exe")
  grep -q "Magic.*$want" <<<"$header" || { echo "FAIL $exe is not $kind"; return 1; }
  grep -q "Subsystem.*(Windows GUI)" <<<"$header" || { echo "FAIL $exe is not a GUI program"; return 1; }
  local dll bad=0
  while read -r dll; do
    case ${dll,,} in
      kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|shell32.dll|shlwapi.dll|ole32.dll|\
      oleaut32.dll|uuid.dll|advapi32.dll|ws2_32.dll|wininet.dll|msvcrt.dll|windowscodecs.dll|uxtheme.dll|\
      msimg32.dll|dwmapi.dll|gdiplus.dll|version.dll|shcore.dll|imm32.dll) ;;
      *) echo "FAIL $exe needs $dll"; bad=1 ;;
    esac
  done < <(grep 'DLL Name' <<<"$header" | awk '{print $3}')
  [ $bad -eq 0 ] || return 1
  echo "ok   $exe: $kind GUI program, imports $(grep -c 'DLL Name' <<<"$header") Windows DLLs"
}
