#include "app/qt/size_limit_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTabWidget>

namespace ok {

TSizeLimitControls::TSizeLimitControls(QTabWidget* pages, TAction act)
    : QWidget(pages),
      checkBox_(new QCheckBox(this)),
      edit_(new QLineEdit(this)),
      unitBox_(new QComboBox(this)),
      act_(std::move(act)) {
  setObjectName("SizeLimitPanel");
  checkBox_->setObjectName("sizeLimitCheckBox");
  edit_->setObjectName("sizeLimitEdit");
  unitBox_->setObjectName("sizeLimitUnitBox");
  edit_->setFixedWidth(64);
  edit_->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,7}(\\.[0-9]{0,3})?")), edit_));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 4, 0);
  layout->setSpacing(4);
  layout->addWidget(checkBox_);
  layout->addWidget(edit_);
  layout->addWidget(unitBox_);
  pages->setCornerWidget(this, Qt::TopRightCorner);

  connect(checkBox_, &QCheckBox::clicked, this,
          [this](bool checked) { act_([&](TWorkbench& m) { m.OnSizeLimitCheckBoxClicked(checked); }); });
  connect(edit_, &QLineEdit::editingFinished, this, [this] {
    const std::string text = edit_->text().toStdString();
    act_([&](TWorkbench& m) { m.OnSizeLimitEdited(text); });
  });
  connect(unitBox_, &QComboBox::activated, this,
          [this](int index) { act_([&](TWorkbench& m) { m.OnSizeLimitUnitChanged(index); }); });
}

std::array<QWidget*, 3> TSizeLimitControls::TabOrder() const { return {checkBox_, edit_, unitBox_}; }

void TSizeLimitControls::Redraw(const TWorkbench& model) {
  const auto q = [](const std::string& text) { return QString::fromStdString(text); };
  checkBox_->setText(q(model.sizeLimitCheckBox.Caption));
  checkBox_->setToolTip(q(model.sizeLimitCheckBox.Hint));
  checkBox_->setChecked(model.sizeLimitCheckBox.Checked);
  edit_->setEnabled(model.sizeLimitEdit.Enabled);
  edit_->setMaxLength(model.sizeLimitEdit.MaxLength > 0 ? model.sizeLimitEdit.MaxLength : 32767);
  if (edit_->text() != q(model.sizeLimitEdit.Text)) edit_->setText(q(model.sizeLimitEdit.Text));
  unitBox_->setEnabled(model.sizeLimitUnitBox.Enabled);
  if (unitBox_->count() != int(model.sizeLimitUnitBox.Items.size())) {
    unitBox_->clear();
    for (const TComboItem& item : model.sizeLimitUnitBox.Items) unitBox_->addItem(q(item.Caption));
  }
  unitBox_->setCurrentIndex(model.sizeLimitUnitBox.ItemIndex);
}

}  // namespace ok
