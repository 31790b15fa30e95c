#include "ui/painting.h"

#include <algorithm>

#include "engine/error.h"
#include "ui/glossy.h"
#include "ui/layout.h"
#include "ui/master_window.h"

namespace pravonell::ui {

Painter::Painter(const MasterWindow& window)
    : w_(window),
      pageBrush_(CreateSolidBrush(glossy::kPage)),
      installBrush_(CreateSolidBrush(glossy::kInstallPage)),
      windowBrush_(CreateSolidBrush(glossy::kWindow)),
      footerBrush_(CreateSolidBrush(glossy::kFooter)),
      panelBrush_(CreateSolidBrush(glossy::kPanel)),
      borderBrush_(CreateSolidBrush(glossy::kBorder)),
      accentBrush_(CreateSolidBrush(glossy::kAccent)),
      bannerBrush_(CreateSolidBrush(RGB(0xDC, 0xEB, 0xF8))) {}

Painter::~Painter() {
  for (HBRUSH brush : {pageBrush_, installBrush_, windowBrush_, footerBrush_, panelBrush_, borderBrush_,
                       accentBrush_, bannerBrush_}) {
    DeleteObject(brush);
  }
}

void Painter::FrameEdit(HWND edit) const {
  HDC dc = GetWindowDC(edit);
  RECT rect;
  GetWindowRect(edit, &rect);
  OffsetRect(&rect, -rect.left, -rect.top);
  FrameRect(dc, &rect, GetFocus() == edit ? accentBrush_ : borderBrush_);
  ReleaseDC(edit, dc);
}

void Painter::PaintContainer(HWND container, HDC dc) const {
#ifdef PRAVONELL_TEST_HOOKS
  if (failPaints) throw Error(L"Falha ao pintar provocada pelo teste");
#endif
  RECT rect;
  GetClientRect(container, &rect);
  const int id = GetDlgCtrlID(container);
  switch (id) {
    case kPnPrincipal: {
      FillRect(dc, &rect, panelBrush_);
      break;
    }
    case kSbTermos:
    case kSbCadastro:
    case kSbInstall: {
      FillRect(dc, &rect, id == kSbInstall ? installBrush_ : pageBrush_);
      FrameRect(dc, &rect, borderBrush_);
      if (id == kSbInstall) PaintInstallHeading(dc, rect);
      break;
    }
    case kGroupBox2: {
      FillRect(dc, &rect, footerBrush_);
      RECT line{rect.left, rect.top, rect.right, rect.top + 1};
      FillRect(dc, &line, borderBrush_);
      break;
    }
    case kRgPessoa:
      glossy::DrawFrame(dc, rect, nullptr, w_.fonts_.bold(), glossy::kPage, w_.dpi_);
      break;
    case kGroupBox1:
      glossy::DrawFrame(dc, rect, L"Configurações do Computador", w_.fonts_.bold(), glossy::kPage, w_.dpi_);
      break;
    case kPanel3:
      glossy::DrawTile(dc, rect, w_.hot_.count(w_.Control(kImage2)) != 0, w_.dpi_);
      break;
    default:
      FillRect(dc, &rect, windowBrush_);
  }
}

// The install page's upper part: what the click on INSTALAR will do.
void Painter::PaintInstallHeading(HDC dc, const RECT& client) const {
  const int left = client.left + w_.Scale(kPageInset + 16), right = client.right - w_.Scale(16);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, w_.fonts_.heading());
  SetTextColor(dc, glossy::kAccentDark);
  RECT title{left, w_.Scale(22), right, w_.Scale(46)};
  DrawTextW(dc, L"Pronto para instalar", -1, &title, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);

  SelectObject(dc, w_.fonts_.normal());
  SetTextColor(dc, glossy::kSubtleText);
  RECT intro{left, w_.Scale(52), right, w_.Scale(84)};
  DrawTextW(dc,
            L"Clique em INSTALAR. O instalador baixa os arquivos do sistema, instala o que "
            L"faltar no computador e cria o atalho na área de trabalho.",
            -1, &intro, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);

  static const wchar_t* const kSteps[] = {
      L"Baixar o sistema, o banco de dados e as ferramentas",
      L"Descompactar os arquivos na pasta de instalação",
      L"Instalar o Firebird 5.0 e o ACBrNFeMonitor, se faltarem",
      L"Criar o atalho e gravar os dados do cliente",
  };
  int y = w_.Scale(100);
  for (const wchar_t* step : kSteps) {
    RECT dot{left, y + w_.Scale(3), left + w_.Scale(8), y + w_.Scale(11)};
    glossy::FillRoundRect(dc, dot, w_.Scale(8), glossy::kAccentLight, glossy::kAccent);
    RECT text{left + w_.Scale(16), y, right, y + w_.Scale(16)};
    SetTextColor(dc, glossy::kText);
    DrawTextW(dc, step, -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    y += w_.Scale(24);
  }
  SetTextColor(dc, glossy::kSubtleText);
  RECT note{left, y + w_.Scale(8), right, y + w_.Scale(40)};
  DrawTextW(dc, L"Mantenha o computador ligado à internet até a mensagem de conclusão.", -1, &note,
            DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, oldFont);
}

void Painter::DrawItem(const DRAWITEMSTRUCT& item) const {
  const RECT& rect = item.rcItem;
  switch (item.CtlID) {
    case kImage1: {
      // The banner at its natural size from the top-left corner; what does
      // not fit is cut off.
      FillRect(item.hDC, &rect, bannerBrush_);
      RECT natural{0, 0, w_.Scale(w_.banner_.width()), w_.Scale(w_.banner_.height())};
      w_.banner_.Draw(item.hDC, natural);
      break;
    }
    case kImage2:
    case kLabel1: {
      // Both sit on the tile: its surface first, then the picture (at twice
      // its size, centred) or the caption.
      HWND panel = w_.Control(kPanel3);
      RECT panelRect;
      GetClientRect(panel, &panelRect);
      POINT origin{0, 0};
      MapWindowPoints(item.hwndItem, panel, &origin, 1);
      HDC dc = item.hDC;
      const int saved = SaveDC(dc);
      SetViewportOrgEx(dc, -origin.x, -origin.y, nullptr);
      glossy::DrawTile(dc, panelRect, w_.hot_.count(w_.Control(kImage2)) != 0, w_.dpi_);
      RestoreDC(dc, saved);
      if (item.CtlID == kLabel1) {
        HGDIOBJ oldFont = SelectObject(dc, w_.fonts_.bold());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, glossy::kAccentDark);
        RECT text = rect;
        DrawTextW(dc, L"INSTALAR", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, oldFont);
        break;
      }
      const int side = std::min<int>(rect.right - rect.left, rect.bottom - rect.top) * 8 / 9;
      RECT picture{rect.left + (rect.right - rect.left - side) / 2, rect.top + (rect.bottom - rect.top - side) / 2,
                   0, 0};
      picture.right = picture.left + side;
      picture.bottom = picture.top + side;
      w_.tile_.Draw(dc, picture);
      break;
    }
    case kBitBtn7: {
      // Four states side by side in the picture; magenta is transparent.
      FillRect(item.hDC, &rect, pageBrush_);
      glossy::ButtonState state;
      state.pressed = (item.itemState & ODS_SELECTED) != 0;
      state.hot = w_.hot_.count(item.hwndItem) != 0;
      state.focused = (item.itemState & ODS_FOCUS) != 0;
      state.disabled = (item.itemState & ODS_DISABLED) != 0;
      glossy::DrawButton(item.hDC, rect, L"", w_.fonts_.bold(), glossy::ButtonKind::Secondary, state, w_.dpi_);
      const int frame = state.disabled ? 1 : state.pressed ? 2 : state.hot ? 3 : 0;
      const int side = w_.Scale(16);
      RECT glyph{rect.left + (rect.right - rect.left - side) / 2, rect.top + (rect.bottom - rect.top - side) / 2, 0, 0};
      glyph.right = glyph.left + side;
      glyph.bottom = glyph.top + side;
      w_.browse_.DrawKeyed(item.hDC, glyph, frame * 16, 0, 16, 16, RGB(255, 0, 255));
      break;
    }
    case kBitBtn1:
    case kBitBtn2:
    case kBitBtn3: {
      FillRect(item.hDC, &rect, item.CtlID == kBitBtn3 ? pageBrush_ : footerBrush_);
      glossy::ButtonState state;
      state.pressed = (item.itemState & ODS_SELECTED) != 0;
      state.hot = w_.hot_.count(item.hwndItem) != 0;
      state.focused = (item.itemState & ODS_FOCUS) != 0;
      state.disabled = (item.itemState & ODS_DISABLED) != 0;
      wchar_t text[64] = {};
      GetWindowTextW(item.hwndItem, text, 64);
      glossy::DrawButton(item.hDC, rect, text, w_.fonts_.bold(),
                         item.CtlID == kBitBtn2 ? glossy::ButtonKind::Secondary : glossy::ButtonKind::Primary,
                         state, w_.dpi_);
      break;
    }
    default:
      break;
  }
}

HBRUSH Painter::ColorFor(UINT message, HWND control, HDC dc) const {
  SetTextColor(dc, glossy::kText);
  // An edit draws its text on the background colour: transparent, the old
  // text would stay under the new one when the edit scrolls sideways.
  SetBkMode(dc, message == WM_CTLCOLOREDIT ? OPAQUE : TRANSPARENT);
  const int id = GetDlgCtrlID(control);
  HWND parent = GetParent(control);
  if (id == kLblModulo) SetTextColor(dc, glossy::kAccentDark);
  if (id == kLabel7 || id == kLabel2 || id == kLabel3 || id == kLabel4) SetTextColor(dc, glossy::kSubtleText);
  SetBkColor(dc, glossy::kPage);
  if (parent == w_.Control(kSbInstall)) {
    SetBkColor(dc, glossy::kInstallPage);
    return installBrush_;
  }
  return pageBrush_;
}

}  // namespace pravonell::ui
