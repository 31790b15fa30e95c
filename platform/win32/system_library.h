// DLLs that are not among the system's KnownDLLs are loaded from the system
// folder only, never from the folder the installer was started in: that is
// usually the browser's Downloads folder, where any page can leave a DLL
// named like one of them beside the installer.
#pragma once

namespace pravonell::win32 {

// Limits the DLL search of this process to the system folder; the first
// thing the program does. Does nothing on a Windows without the call.
void LoadDllsFromSystemFolderOnly();

// The address of a function of a DLL loaded from the system folder, or
// nullptr when the DLL or the function is not there. The DLL stays loaded.
void* SystemFunction(const wchar_t* dll, const char* name);

// The same, typed: SystemFunctionAs<decltype(&InternetOpenW)>(L"wininet.dll", "InternetOpenW").
template <typename Function>
Function SystemFunctionAs(const wchar_t* dll, const char* name) {
  return reinterpret_cast<Function>(SystemFunction(dll, name));
}

// A function of the common controls in the version the manifest asks for
// (6, from WinSxS), or nullptr. They are loaded on first use rather than at
// start-up, so that they and what they load come after the search was
// limited; loaded by name, as the manifest's redirection needs.
void* CommonControlsFunction(const char* name);

template <typename Function>
Function CommonControlsFunctionAs(const char* name) {
  return reinterpret_cast<Function>(CommonControlsFunction(name));
}

}  // namespace pravonell::win32
