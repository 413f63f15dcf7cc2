// TFormStorage: the placement store the main window carries (FormStorage1).
// It is TFormPlacement plus lists of stored properties and stored values
// that would be kept in the same section; the main window's lists are empty,
// so only the placement itself is saved. See form_placement.h.
#pragma once

#include "placement/form_placement.h"

namespace placement {

class TFormStorage : public TFormPlacement {
 public:
  using TFormPlacement::TFormPlacement;
};

}  // namespace placement
