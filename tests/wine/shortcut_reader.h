// Reads a shell shortcut back through the shell's own link object.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <string>

namespace pravonell::testing {

struct ShortcutFields {
  bool loaded = false;
  std::wstring target, workingDirectory, description, arguments;
};

// COM must be initialised on the calling thread.
inline ShortcutFields ReadShortcut(const std::wstring& path) {
  ShortcutFields fields;
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return fields;
  }
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, 0);
    fields.target = text;
    link->GetWorkingDirectory(text, MAX_PATH);
    fields.workingDirectory = text;
    link->GetDescription(text, MAX_PATH);
    fields.description = text;
    link->GetArguments(text, MAX_PATH);
    fields.arguments = text;
    fields.loaded = true;
  }
  if (file != nullptr) file->Release();
  link->Release();
  return fields;
}

}  // namespace pravonell::testing
