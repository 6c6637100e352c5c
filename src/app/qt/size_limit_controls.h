#pragma once
// The size limit's controls at the right of the settings pages' tabs: "限制文件大小", its number
// and its unit. They show the model's state and hand every change to it.

#include <QWidget>
#include <array>
#include <functional>

#include "app/workbench/workbench.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;

namespace ok {

class TSizeLimitControls : public QWidget {
 public:
  // `act` runs a model handler as the window runs every user action.
  using TAction = std::function<void(const std::function<void(TWorkbench&)>&)>;
  TSizeLimitControls(QTabWidget* pages, TAction act);
  void Redraw(const TWorkbench& model);
  // Its controls in the order Tab visits them.
  std::array<QWidget*, 3> TabOrder() const;

 private:
  QCheckBox* checkBox_;
  QLineEdit* edit_;
  QComboBox* unitBox_;
  TAction act_;
};

}  // namespace ok
