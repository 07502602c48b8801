// What the core reads from the main window's input controls. The window implements it over
// its widgets; tests implement it over plain members. Texts are returned as they stand,
// untrimmed.
#pragma once

#include <string>

namespace zr::setup {

class FormFields {
 public:
  virtual ~FormFields() = default;

  virtual std::string passwordText() const = 0;  // passw
  virtual std::string meterIdText() const = 0;   // Edit1
  virtual std::string portText() const = 0;      // ComboBox1
  virtual bool isLocalChannel() const = 0;       // rbLocal checked (else "Remote")
};

}  // namespace zr::setup
