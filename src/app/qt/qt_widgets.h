#pragma once
// Small widgets of the main window: the preview track bar with its selection range, the progress
// column's bar and the file drop onto the list and the add button.

#include <QObject>
#include <QSlider>
#include <QString>
#include <QStyledItemDelegate>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "app/workbench/workbench_texts.h"

namespace ok {

// Program text (UTF-8) as a Qt string.
inline QString QText(const std::string& text) { return QString::fromStdString(text); }
inline QString QText(const char* text) { return QString::fromUtf8(text); }
inline QString QText(const TText& text) { return QText(std::string(text)); }

// A local file's name as the file system holds it (bytes, UTF-8 or not) from its URL, and its
// URL: a URL keeps the bytes that are no UTF-8 percent-encoded, where a QString loses them.
std::string LocalPath(const QUrl& url);
QUrl LocalUrl(const std::string& path);

// A horizontal track bar with ticks on top and a selection range drawn on its groove.
class TTrackBar : public QSlider {
 public:
  explicit TTrackBar(QWidget* parent);
  void SetSelection(int start, int end);
  int SelStart() const { return selStart_; }
  int SelEnd() const { return selEnd_; }
  void SetSliderVisible(bool visible);
  bool SliderVisible() const { return sliderVisible_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int selStart_ = 0;
  int selEnd_ = 0;
  bool sliderVisible_ = true;
};

// The item data role that holds a row's progress bar value, -1 or absent for none.
inline constexpr int PercentRole = Qt::UserRole + 1;

// Draws the cells of its column that have a PercentRole value as a progress bar holding the
// cell's text.
class TProgressDelegate : public QStyledItemDelegate {
 public:
  TProgressDelegate(int column, QObject* parent) : QStyledItemDelegate(parent), column_(column) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  int column_;
};

// The percentage of a progress text "NN%", or -1 when the text is not one (for tests that read
// the screen).
int ProgressPercent(const QString& text);

// Takes local files and folders dropped onto the watched widgets and hands their paths on.
class TFileDropFilter : public QObject {
 public:
  using TDropped = std::function<void(const std::vector<std::string>&)>;
  TFileDropFilter(QObject* parent, TDropped dropped) : QObject(parent), dropped_(std::move(dropped)) {}
  // Lets `widget` take drops and watches it.
  void Watch(QWidget* widget);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TDropped dropped_;
};

}  // namespace ok
