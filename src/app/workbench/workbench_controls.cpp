#include "app/workbench/workbench_controls.h"

namespace ok {

std::string TComboBoxState::Text() const {
  if (ItemIndex < 0 || ItemIndex >= int(Items.size())) return "";
  return Items[size_t(ItemIndex)].Caption;
}

}  // namespace ok
