// The customer page as the customer rules see it: four text fields, their
// focus, and the person-type choice. The window implements it; tests fake it.
#pragma once

#include <cstdint>
#include <string>

namespace pravonell {

enum class Field { CpfCnpj, NomeRazao, Email, DirInstalacao };

// Items of the person-type choice.
inline constexpr int kPessoaFisica = 0;
inline constexpr int kPessoaJuridica = 1;

class CustomerPage {
 public:
  virtual ~CustomerPage() = default;
  virtual std::wstring Text(Field field) = 0;
  virtual void SetText(Field field, const std::wstring& text) = 0;
  // True when the field and everything around it is visible and enabled.
  virtual bool CanFocus(Field field) = 0;
  virtual void SetFocus(Field field) = 0;
  virtual int PersonType() = 0;  // -1 when nothing is selected
  virtual void SetPersonType(int item) = 0;
};

// The system's profile (INI) writer.
class ProfileWriter {
 public:
  virtual ~ProfileWriter() = default;
  // One key in one section; 0, or the system's error code when the file
  // could not be written (112 when the disk is full).
  [[nodiscard]] virtual std::uint32_t WriteString(const std::wstring& section, const std::wstring& key,
                                                  const std::wstring& value, const std::wstring& path) = 0;
  // Makes the system write out its cached copy of the file.
  virtual void Flush(const std::wstring& path) = 0;
};

}  // namespace pravonell
