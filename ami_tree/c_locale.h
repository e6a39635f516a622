// Switches the calling thread to the C locale for the life of the object, so
// that formatted conversions ("%lf", "%g", strtod and the like) read and write
// a decimal point whatever locale the host process has set (a simulator may
// run under setlocale(LC_ALL, "") with a decimal comma). Other threads are not
// affected; scopes nest, each restoring the locale it found.
#pragma once

#include <clocale>
#include <locale.h>

class CLocaleScope {
 public:
  CLocaleScope();
  ~CLocaleScope();
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

  // False when no C locale object could be created; conversions then run in
  // the thread's current locale.
  bool active() const { return previous_ != static_cast<locale_t>(0); }

 private:
  locale_t previous_;  // the thread's locale before the switch; 0 when not switched
};
