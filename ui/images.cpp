#include "ui/images.h"

#include <wincodec.h>

#include "platform/win32/com_ptr.h"

namespace pravonell::ui {

namespace {

std::pair<const void*, DWORD> ResourceBytes(HINSTANCE instance, int resourceId) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
  if (found == nullptr) return {nullptr, 0};
  HGLOBAL loaded = LoadResource(instance, found);
  return {LockResource(loaded), SizeofResource(instance, found)};
}

}  // namespace

Picture::~Picture() {
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
}

bool Picture::Load(HINSTANCE instance, int resourceId) {
  const auto [bytes, size] = ResourceBytes(instance, resourceId);
  if (bytes == nullptr) return false;

  win32::ComPtr<IWICImagingFactory> factory;
  win32::ComPtr<IWICStream> stream;
  win32::ComPtr<IWICBitmapDecoder> decoder;
  win32::ComPtr<IWICBitmapFrameDecode> frame;
  win32::ComPtr<IWICFormatConverter> converter;
  bool ok =
      SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory, factory.OutVoid())) &&
      SUCCEEDED(factory->CreateStream(stream.Out())) &&
      SUCCEEDED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size)) &&
      SUCCEEDED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                 decoder.Out())) &&
      SUCCEEDED(decoder->GetFrame(0, frame.Out())) && SUCCEEDED(factory->CreateFormatConverter(converter.Out())) &&
      SUCCEEDED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                      0.0, WICBitmapPaletteTypeCustom));
  UINT width = 0, height = 0;
  if (ok) ok = SUCCEEDED(converter->GetSize(&width, &height));
  if (ok) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    ok = bitmap != nullptr &&
         SUCCEEDED(converter->CopyPixels(nullptr, width * 4, width * height * 4, static_cast<BYTE*>(pixels)));
    if (ok) {
      if (bitmap_ != nullptr) DeleteObject(bitmap_);
      bitmap_ = bitmap;
      width_ = static_cast<int>(width);
      height_ = static_cast<int>(height);
    } else if (bitmap != nullptr) {
      DeleteObject(bitmap);
    }
  }
  return ok;
}

void Picture::Draw(HDC dc, const RECT& dst) const { DrawPart(dc, dst, 0, 0, width_, height_); }

void Picture::DrawPart(HDC dc, const RECT& dst, int srcX, int srcY, int srcW, int srcH) const {
  if (bitmap_ == nullptr) return;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap_);
  SetStretchBltMode(dc, HALFTONE);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  GdiAlphaBlend(dc, dst.left, dst.top, dst.right - dst.left, dst.bottom - dst.top, memory, srcX, srcY, srcW,
             srcH, blend);
  SelectObject(memory, old);
  DeleteDC(memory);
}

void Picture::DrawKeyed(HDC dc, const RECT& dst, int srcX, int srcY, int srcW, int srcH, COLORREF key) const {
  if (bitmap_ == nullptr) return;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap_);
  GdiTransparentBlt(dc, dst.left, dst.top, dst.right - dst.left, dst.bottom - dst.top, memory, srcX, srcY, srcW,
                 srcH, key);
  SelectObject(memory, old);
  DeleteDC(memory);
}

std::wstring LoadTextResource(HINSTANCE instance, int resourceId) {
  const auto [bytes, size] = ResourceBytes(instance, resourceId);
  if (bytes == nullptr || size == 0) return L"";
  const char* text = static_cast<const char*>(bytes);
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), wide.data(), length);
  return wide;
}

}  // namespace pravonell::ui
