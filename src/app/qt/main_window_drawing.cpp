// The window's drawing of the model: every control takes its state from the model's record of it.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>

#include "app/qt/main_window.h"
#include "app/qt/qt_images.h"
#include "app/qt/qt_widgets.h"
#include "app/qt/size_limit_controls.h"

namespace ok {

namespace {

// A control under a panel that is shown takes no focus (Tab would land on something unseen); the
// focus it had goes to `next`.
void CoverFocus(QWidget* covered, bool isCovered, QWidget* next) {
  const char* own = "uncoveredFocusPolicy";
  if (!covered->property(own).isValid()) covered->setProperty(own, int(covered->focusPolicy()));
  covered->setFocusPolicy(isCovered ? Qt::NoFocus : Qt::FocusPolicy(covered->property(own).toInt()));
  if (isCovered && covered->hasFocus()) next->setFocus();
}

void ApplyState(QWidget* widget, const TControlState& state) {
  widget->setEnabled(state.Enabled);
  widget->setToolTip(QText(state.Hint));
  // A child shown while its window is hidden appears with the window.
  if (widget->isVisibleTo(widget->parentWidget()) != state.Visible) widget->setVisible(state.Visible);
}

void ApplyButton(QAbstractButton* button, const TControlState& state) {
  ApplyState(button, state);
  button->setText(QText(state.Caption));
}

void ApplyCheckBox(QCheckBox* box, const TCheckBoxState& state) {
  ApplyButton(box, state);
  box->setChecked(state.Checked);
}

void ApplyLabel(QLabel* label, const TControlState& state) {
  ApplyState(label, state);
  label->setText(QText(state.Caption));
}

void ApplyEdit(QLineEdit* edit, const TEditState& state) {
  ApplyState(edit, state);
  edit->setMaxLength(state.MaxLength > 0 ? state.MaxLength : 32767);
  edit->setReadOnly(state.ReadOnly);
  if (edit->text() != QText(state.Text)) edit->setText(QText(state.Text));
}

void ApplyComboBox(QComboBox* box, const TComboBoxState& state) {
  ApplyState(box, state);
  bool same = box->count() == int(state.Items.size());
  for (int i = 0; same && i < box->count(); ++i)
    same = box->itemText(i) == QText(Tr(state.Items[size_t(i)].Caption)) &&
           box->itemData(i).toInt() == state.Items[size_t(i)].ImageIndex;
  if (!same) {
    box->clear();
    for (const TComboItem& item : state.Items)
      box->addItem(ComboImage(item.ImageIndex), QText(Tr(item.Caption)), item.ImageIndex);
  }
  // An entry the loaded libraries cannot encode is shown, greyed, with the reason as its tip.
  if (auto* items = qobject_cast<QStandardItemModel*>(box->model()))
    for (int i = 0; i < box->count() && size_t(i) < state.Items.size(); ++i) {
      const std::string& reason = state.Items[size_t(i)].DisabledReason;
      items->item(i)->setEnabled(reason.empty());
      box->setItemData(i, reason.empty() ? QVariant() : QVariant(QText(reason)), Qt::ToolTipRole);
    }
  box->setCurrentIndex(state.ItemIndex < box->count() ? state.ItemIndex : -1);
}

}  // namespace

void MainWindow::RedrawList(bool all) {
  const TListViewState& list = model_->sourceList;
  ApplyState(sourceList, list);
  for (int i = 0; i < int(list.Columns.size()) && i < sourceList->columnCount(); ++i) {
    const TListColumn& column = list.Columns[size_t(i)];
    sourceList->headerItem()->setText(i, QText(column.Caption));
    sourceList->headerItem()->setTextAlignment(
        i, column.Centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    // The last column takes the rest of the list's width.
    if (column.Width > 0 && i + 1 < sourceList->columnCount() && sourceList->columnWidth(i) != column.Width)
      sourceList->setColumnWidth(i, column.Width);
  }
  // A progress tick changes one row: with thousands, redrawing them all would take the window's time.
  all = all || sourceList->topLevelItemCount() != int(list.Rows.size());
  while (sourceList->topLevelItemCount() > int(list.Rows.size()))
    delete sourceList->takeTopLevelItem(sourceList->topLevelItemCount() - 1);
  while (sourceList->topLevelItemCount() < int(list.Rows.size())) {
    auto* item = new QTreeWidgetItem(sourceList);
    for (int column = 0; column < sourceList->columnCount(); ++column)
      item->setTextAlignment(column, Qt::Alignment(sourceList->headerItem()->textAlignment(column)));
  }
  // Taken first: a redraw can raise the model's handlers, which report rows again.
  std::vector<int> changed;
  changed.swap(changedRows_);
  if (all) {
    for (int row = 0; row < int(list.Rows.size()); ++row) RedrawRow(row);
  } else {
    for (const int row : changed)
      if (row >= 0 && row < int(list.Rows.size())) RedrawRow(row);
  }
  QTreeWidgetItem* selected = list.SelectedIndex >= 0 && list.SelectedIndex < sourceList->topLevelItemCount()
                                  ? sourceList->topLevelItem(list.SelectedIndex)
                                  : nullptr;
  if (sourceList->currentItem() != selected) sourceList->setCurrentItem(selected);
  if (!selected) sourceList->clearSelection();

  const bool panelHadFocus = focusWidget() && addPanel->isAncestorOf(focusWidget());
  ApplyState(addPanel, model_->addPanel);
  ApplyButton(addFilesButton, model_->addFilesButton);
  // The keyboard stays where the list is: on the large add button while it covers the list, on
  // the list once its rows show.
  const bool covered = addPanel->isVisibleTo(this);
  if (covered) addPanel->raise();
  CoverFocus(sourceList, covered, addFilesButton);
  if (!covered && panelHadFocus) sourceList->setFocus();
}

void MainWindow::RedrawRow(int row) {
  QTreeWidgetItem* item = sourceList->topLevelItem(row);
  const TListRow& data = model_->sourceList.Rows[size_t(row)];
  item->setText(0, QText(data.Caption));
  for (int column = 0; column < sourceList->columnCount(); ++column) {
    if (column > 0) {
      const size_t sub = size_t(column - 1);
      item->setText(column, sub < data.SubItems.size() ? QText(data.SubItems[sub]) : QString());
    }
    item->setToolTip(column, QText(data.Hint));
  }
  item->setData(ProgressColumn, PercentRole, data.Percent >= 0 ? QVariant(data.Percent) : QVariant());
}

void MainWindow::RedrawPreview() {
  const TWorkbench& m = *model_;
  if (m.previewImage.IsEmpty()) {
    previewImage->setPixmap(QPixmap());
  } else {
    previewImage->setPixmap(QPixmap::fromImage(BitmapToImage(m.previewImage)));
  }
  const TTrackBarState& track = m.previewTrackBar;
  ApplyState(previewTrackBar, track);
  previewTrackBar->setRange(track.Min, track.Max);
  previewTrackBar->setValue(track.Position);
  previewTrackBar->setTickInterval(std::max(track.Frequency, 1));
  previewTrackBar->setSingleStep(std::max(track.LineSize, 1));
  previewTrackBar->setPageStep(std::max(track.PageSize, 1));
  previewTrackBar->SetSelection(track.SelStart, track.SelEnd);
  previewTrackBar->SetSliderVisible(track.SliderVisible);
  ApplyLabel(previewTimeLabel, m.previewTimeLabel);
  ApplyButton(markStartButton, m.markStartButton);
  ApplyButton(markEndButton, m.markEndButton);
  ApplyEdit(clipStartEdit, m.clipStartEdit);
  ApplyEdit(clipEndEdit, m.clipEndEdit);
  ApplyCheckBox(clipCheckBox, m.clipCheckBox);
}

void MainWindow::RedrawSettings() {
  TWorkbench& m = *model_;
  const TPageControlState& pages = m.settingsPages;
  ApplyState(settingsPages, pages);
  for (int i = 0; i < settingsPages->count(); ++i) {
    if (size_t(i) < pages.PageCaptions.size() && !pages.PageCaptions[size_t(i)].empty())
      settingsPages->setTabText(i, QText(pages.PageCaptions[size_t(i)]));
    settingsPages->setTabIcon(
        i, size_t(i) < pages.PageImageIndex.size() ? PageImage(pages.PageImageIndex[size_t(i)]) : QIcon());
  }
  if (pages.ActivePageIndex >= 0 && pages.ActivePageIndex < settingsPages->count())
    settingsPages->setCurrentIndex(pages.ActivePageIndex);

  ApplyComboBox(fileTypeBox, m.fileTypeBox);
  ApplyComboBox(presetBox, m.presetBox);
  ApplyButton(removePresetButton, m.removePresetButton);
  ApplyComboBox(brandBox, m.brandBox);
  ApplyComboBox(modelBox, m.modelBox);
  ApplyComboBox(customTypeBox, m.customTypeBox);

  // The summary labels sit on the page shown.
  QWidget* shown = m.SummaryLabelsPage >= 0 && m.SummaryLabelsPage < 4 ? pages_[size_t(m.SummaryLabelsPage)]
                                                                       : settingsPages->currentWidget();
  if (shown && summary_->parentWidget() != shown) {
    summary_->setParent(shown);
    summary_->move(400, 4);
    summary_->show();
  }
  ApplyLabel(frameSizeLabel, m.frameSizeLabel);
  ApplyLabel(videoCodecLabel, m.videoCodecLabel);
  ApplyLabel(videoBitrateLabel, m.videoBitrateLabel);
  ApplyLabel(frameRateLabel, m.frameRateLabel);
  ApplyLabel(audioCodecLabel, m.audioCodecLabel);

  ApplyButton(analyseButton, m.analyseButton);
  ApplyButton(applyCustomButton, m.applyCustomButton);
  ApplyState(customValuesPanel, m.customValuesPanel);
  customValuesPanel->raise();
  CoverFocus(applyCustomButton, m.customValuesPanel.Visible, customTypeBox);
  ApplyState(cropPadGroup, m.cropPadGroup);
  cropPadGroup->setTitle(QText(m.cropPadGroup.Caption));
  for (int i = 0; i < int(customEdits_.size()); ++i) {
    const TEditState& edit = m.CustomEdit(i + 1);
    ApplyEdit(customEdits_[size_t(i)], edit);
    if (i >= 4 && i < 12) cropPadLabels_[size_t(i - 4)]->setEnabled(edit.Enabled);
  }
  ApplyLabel(customQualityLabel, m.customQualityLabel);
  ApplyButton(saveCustomPresetButton, m.saveCustomPresetButton);
  ApplyCheckBox(cropCheckBox, m.cropCheckBox);
  ApplyCheckBox(padCheckBox, m.padCheckBox);

  sizeLimitControls->Redraw(m);
  ApplyEdit(outputFolderEdit, m.outputFolderEdit);
  outputFolderBrowseButton->setToolTip(QText(m.outputFolderBrowseButton.Hint));
  ApplyState(openOutputFolderButton, m.openOutputFolderButton);
}

void MainWindow::RedrawRunButtons() {
  const TWorkbench& m = *model_;
  ApplyButton(startButton, m.startButton);
  ApplyButton(pauseButton, m.pauseButton);
  ApplyButton(resumeButton, m.resumeButton);
  ApplyButton(stopButton, m.stopButton);
  ApplyButton(addButton, m.addButton);
  ApplyButton(removeButton, m.removeButton);
  ApplyButton(clearButton, m.clearButton);
  ApplyButton(addFilesButton, m.addFilesButton);
  ApplyCheckBox(powerOffCheckBox, m.powerOffCheckBox);
}

void MainWindow::RedrawCaption() {
  QString caption = model_->Caption.empty() ? QString::fromUtf8(MainWindowCaption) : QText(model_->Caption);
  const std::vector<TSourceRow>& rows = model_->Sources;
  int percent = -1;
  if (model_->Running() && !rows.empty()) {
    // The batch's progress: the mean of the rows' percentages, a row not begun counting 0.
    int64_t sum = 0;
    for (const TSourceRow& row : rows) sum += row.State == rsFinished ? 100 : std::max(row.Progress, 0);
    percent = int(sum / int64_t(rows.size()));
    caption = QStringLiteral("%1% - %2").arg(percent).arg(caption);
  }
  if (windowTitle() != caption) setWindowTitle(caption);
  ShowBatchOnDesktop(model_->Running(), percent);
}

}  // namespace ok
