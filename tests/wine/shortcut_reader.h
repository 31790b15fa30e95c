// Reads a shell shortcut back through the shell's own link object.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <string>

#include "platform/win32/com_ptr.h"

namespace pravonell::testing {

struct ShortcutFields {
  bool loaded = false;
  std::wstring target, workingDirectory, description, arguments;
};

// COM must be initialised on the calling thread.
inline ShortcutFields ReadShortcut(const std::wstring& path) {
  ShortcutFields fields;
  win32::ComPtr<IShellLinkW> link;
  win32::ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.OutVoid()))) {
    return fields;
  }
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.OutVoid())) &&
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
  return fields;
}

}  // namespace pravonell::testing
