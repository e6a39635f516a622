#include "ami_tree/c_locale.h"

namespace {

// One C locale object for the whole process, created on first use (thread-safe
// static initialisation) and kept until exit.
locale_t cLocale() {
  static const locale_t object = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return object;
}

}  // namespace

CLocaleScope::CLocaleScope() : previous_(static_cast<locale_t>(0)) {
  const locale_t c = cLocale();
  if (c != static_cast<locale_t>(0)) previous_ = uselocale(c);
}

CLocaleScope::~CLocaleScope() {
  if (previous_ != static_cast<locale_t>(0)) uselocale(previous_);
}
