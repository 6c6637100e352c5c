#pragma once
// The state of the main window's controls as the model holds it: what each control shows and
// whether it is enabled and visible. The view draws these; it never decides them.

#include <string>
#include <utility>
#include <vector>

namespace ok {

struct TControlState {
  std::string Caption;
  std::string Hint;
  bool Enabled = true;
  bool Visible = true;
  int Tag = 0;
};

struct TComboItem {
  TComboItem() = default;
  TComboItem(std::string caption, int imageIndex, std::string disabledReason = "")
      : Caption(std::move(caption)), ImageIndex(imageIndex), DisabledReason(std::move(disabledReason)) {}
  std::string Caption;
  int ImageIndex = -1;
  std::string DisabledReason;  // why the item cannot be chosen (shown disabled), "" when it can
};

struct TComboBoxState : TControlState {
  std::vector<TComboItem> Items;
  int ItemIndex = -1;
  // The caption of the selected item, "" when none is selected.
  std::string Text() const;
};

struct TEditState : TControlState {
  std::string Text;
  int MaxLength = 0;  // 0: no limit
  bool ReadOnly = false;
};

struct TCheckBoxState : TControlState {
  bool Checked = false;
};

// One row of the source list: the caption and the sub-items "类型", "分辨率", "时长", "进度".
struct TListRow {
  TListRow(std::string caption = {}, std::vector<std::string> subItems = {})
      : Caption(std::move(caption)), SubItems(std::move(subItems)) {}
  std::string Caption;
  std::vector<std::string> SubItems;
  std::string Hint;  // the row's tool tip
  int Percent = -1;  // the progress bar of "进度", -1 for none
};

struct TListColumn {
  std::string Caption;
  int Width = 0;  // pixels
  bool Centred = false;
};

struct TListViewState : TControlState {
  std::vector<TListColumn> Columns;
  std::vector<TListRow> Rows;
  int SelectedIndex = -1;
  bool ReadOnly = false;
};

struct TTrackBarState : TControlState {
  int Width = 220;
  int Min = 0;
  int Max = 0;
  int Position = 0;
  int SelStart = 0;
  int SelEnd = 0;
  int Frequency = 1;
  int LineSize = 1;
  int PageSize = 2;
  bool SliderVisible = true;
};

struct TPageControlState : TControlState {
  std::vector<std::string> PageCaptions;
  std::vector<int> PageImageIndex;
  int ActivePageIndex = 0;
};

}  // namespace ok
