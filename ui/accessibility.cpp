#include "ui/accessibility.h"

#include <oleacc.h>

#include <atomic>
#include <functional>
#include <map>
#include <string>

#include "platform/win32/system_library.h"

namespace pravonell::ui {

namespace {

// IAccessible's interface identifier, written out: the import library's
// symbol of that name is not the GUID itself with every toolchain.
constexpr GUID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

struct Description {
  std::wstring name;
  long role = 0;
};

// Only the window's thread describes controls and answers WM_GETOBJECT.
std::map<HWND, Description>& Descriptions() {
  static std::map<HWND, Description> descriptions;
  return descriptions;
}

// Whether a control can be reached now: false for one on a page behind.
std::function<bool(HWND)>& Reachable() {
  static std::function<bool(HWND)> reachable;
  return reachable;
}

// The system's own accessible object of the control, with our name and
// role in front of it, and out of reach while the control is on a page
// behind: it is then invisible and unavailable to a screen reader, and
// pressing it, selecting it or setting its value does nothing. Everything
// else (value, place, focus) is the system's.
class NamedAccessible final : public IAccessible {
 public:
  NamedAccessible(IAccessible* inner, HWND control, Description description)
      : inner_(inner), control_(control), description_(std::move(description)) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    // What else the system's object offers (the enumeration of its children,
    // the window it stands for) comes from it: a screen reader walks the
    // tree through those.
    return inner_->QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      inner_->Release();
      delete this;
    }
    return left;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return inner_->GetTypeInfoCount(count); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return inner_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return inner_->GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argument) override {
    return inner_->Invoke(id, iid, locale, flags, params, result, exception, argument);
  }

  // IAccessible: the name and role of the control itself are ours.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    if (!Self(child) || description_.name.empty()) return inner_->get_accName(child, name);
    *name = SysAllocString(description_.name.c_str());
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (role == nullptr) return E_POINTER;
    if (!Self(child) || description_.role == 0) return inner_->get_accRole(child, role);
    VariantInit(role);
    role->vt = VT_I4;
    role->lVal = description_.role;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return inner_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return inner_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return inner_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return inner_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return inner_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    const HRESULT result = inner_->get_accState(child, state);
    if (SUCCEEDED(result) && state != nullptr && state->vt == VT_I4 && Behind()) {
      state->lVal |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_OFFSCREEN;
      state->lVal &= ~(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED);
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return inner_->get_accHelp(child, help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return inner_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
    return inner_->get_accKeyboardShortcut(child, keys);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return inner_->get_accFocus(child); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return inner_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return inner_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    return Behind() ? E_ACCESSDENIED : inner_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* width, long* height, VARIANT child) override {
    return inner_->accLocation(x, y, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return inner_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
    return inner_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return Behind() ? E_ACCESSDENIED : inner_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return inner_->put_accName(child, name); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return Behind() ? E_ACCESSDENIED : inner_->put_accValue(child, value);
  }

 private:
  static bool Self(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }
  bool Behind() const { return Reachable() && !Reachable()(control_); }

  IAccessible* inner_;
  HWND control_;
  Description description_;
  std::atomic<ULONG> references_{1};
};

// oleacc is not a KnownDLL: it comes from the system folder only.
using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

}  // namespace

void Describe(HWND control, const wchar_t* name, long role) {
  if (control != nullptr) Descriptions()[control] = Description{name, role};
}

void SetReachable(std::function<bool(HWND)> reachable) { Reachable() = std::move(reachable); }

LRESULT AccessibleObjectOf(HWND control, WPARAM flags, LPARAM objectId) {
  if (static_cast<LONG>(objectId) != OBJID_CLIENT) return 0;
  const auto found = Descriptions().find(control);
  const Description description = found != Descriptions().end() ? found->second : Description{};
  static const auto createStd =
      win32::SystemFunctionAs<CreateStdAccessibleObjectFn>(L"oleacc.dll", "CreateStdAccessibleObject");
  static const auto lresultFromObject =
      win32::SystemFunctionAs<LresultFromObjectFn>(L"oleacc.dll", "LresultFromObject");
  if (createStd == nullptr || lresultFromObject == nullptr) return 0;
  IAccessible* standard = nullptr;
  if (FAILED(createStd(control, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(&standard))) ||
      standard == nullptr) {
    return 0;
  }
  auto* named = new NamedAccessible(standard, control, description);
  const LRESULT result = lresultFromObject(kIidAccessible, flags, static_cast<IAccessible*>(named));
  named->Release();  // the result holds its own reference
  return result;
}

void AnnounceChange(HWND label) {
  // EVENT_OBJECT_LIVEREGIONCHANGED, for readers that follow live regions;
  // the name change, for those that read what changes in the window.
  constexpr DWORD kLiveRegionChanged = 0x8019;
  NotifyWinEvent(kLiveRegionChanged, label, OBJID_CLIENT, CHILDID_SELF);
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, label, OBJID_CLIENT, CHILDID_SELF);
}

void AnnounceNameChange(HWND window) { NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, CHILDID_SELF); }

}  // namespace pravonell::ui
