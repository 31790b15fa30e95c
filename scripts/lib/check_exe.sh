# Checks that a built pravonell.exe is a GUI program of the right kind whose
# import table names only DLLs that Windows never takes from the program's
# own folder: check_exe FILE pe32|pe32+
#
# Those are the KnownDLLs (the ones common to Windows 7 and later), plus
# comctl32, which the manifest takes from WinSxS. Any other DLL would first be
# looked for beside the exe, in the Downloads folder, where a page can plant
# one; such DLLs are loaded from the system folder at run time instead.
KNOWN_DLLS=(advapi32 clbcatq comdlg32 gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz nsi
            ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 wldap32 ws2_32)

check_exe() {
  local exe=$1 kind=$2 objdump want
  case $kind in
    pe32) objdump=i686-w64-mingw32-objdump; want="(PE32)" ;;
    pe32+) objdump=x86_64-w64-mingw32-objdump; want="(PE32+)" ;;
  esac
  local header
  header=$("$objdump" -p "$exe")
  grep -q "Magic.*$want" <<<"$header" || { echo "FAIL $exe is not $kind"; return 1; }
  grep -q "Subsystem.*(Windows GUI)" <<<"$header" || { echo "FAIL $exe is not a GUI program"; return 1; }
  local dll name bad=0 imports=()
  while read -r dll; do
    name=${dll,,}
    name=${name%.dll}
    imports+=("$name")
    if [ "$name" != comctl32 ] && [[ " ${KNOWN_DLLS[*]} " != *" $name "* ]]; then
      echo "FAIL $exe imports $dll, which Windows would look for beside the exe first"
      bad=1
    fi
  done < <(grep 'DLL Name' <<<"$header" | awk '{print $3}')
  [ $bad -eq 0 ] || return 1
  echo "ok   $exe: $kind GUI program, imports ${imports[*]}"
}
