#include "app/qt/qt_widgets.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QStyleOptionProgressBar>
#include <QStyleOptionSlider>
#include <QUrl>

namespace ok {

std::string LocalPath(const QUrl& url) {
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

QUrl LocalUrl(const std::string& path) {
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::TicksAbove);
}

void TTrackBar::SetSelection(int start, int end) {
  if (start == selStart_ && end == selEnd_) return;
  selStart_ = start;
  selEnd_ = end;
  update();
}

void TTrackBar::SetSliderVisible(bool visible) {
  if (visible == sliderVisible_) return;
  sliderVisible_ = visible;
  update();
}

void TTrackBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionSlider option;
  initStyleOption(&option);

  // Groove and ticks first, then the selection over the groove, then the handle over both.
  option.subControls = QStyle::SC_SliderGroove;
  if (tickPosition() != QSlider::NoTicks) option.subControls |= QStyle::SC_SliderTickmarks;
  style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);

  if (selEnd_ > selStart_ && maximum() > minimum()) {
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = width() - handle.width();
    auto centre = [&](int value) {
      return QStyle::sliderPositionFromValue(minimum(), maximum(), value, span) + handle.width() / 2;
    };
    const int left = centre(std::max(selStart_, minimum()));
    const int right = centre(std::min(selEnd_, maximum()));
    QRect band(left, groove.center().y() - 2, std::max(right - left, 1), 5);
    painter.fillRect(band, palette().color(QPalette::Highlight));
  }

  if (sliderVisible_) {
    option.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
  }
}

int ProgressPercent(const QString& text) {
  static const QRegularExpression percent(QStringLiteral("^(\\d{1,3})%$"));
  QRegularExpressionMatch match = percent.match(text);
  return match.hasMatch() ? std::min(match.captured(1).toInt(), 100) : -1;
}

void TProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const QString text = index.data().toString();
  const QVariant value = index.data(PercentRole);
  const int percent = value.isValid() ? std::min(value.toInt(), 100) : -1;
  if (index.column() != column_ || percent < 0) return QStyledItemDelegate::paint(painter, option, index);
  QStyleOptionViewItem background = option;
  initStyleOption(&background, index);
  background.text.clear();
  QStyle* style = option.widget ? option.widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

  QStyleOptionProgressBar bar;
  bar.initFrom(option.widget);
  bar.rect = option.rect.adjusted(2, 2, -2, -2);
  bar.minimum = 0;
  bar.maximum = 100;
  bar.progress = percent;
  bar.text = text;
  bar.textVisible = true;
  bar.textAlignment = Qt::AlignCenter;
  bar.state |= QStyle::State_Horizontal;
  style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
}

void TFileDropFilter::Watch(QWidget* widget) {
  widget->setAcceptDrops(true);
  widget->installEventFilter(this);
}

namespace {

std::vector<std::string> LocalPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths.push_back(LocalPath(url));
  return paths;
}

}  // namespace

bool TFileDropFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (LocalPaths(drag->mimeData()).empty()) return false;
      drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      std::vector<std::string> paths = LocalPaths(drop->mimeData());
      if (paths.empty()) return false;
      drop->acceptProposedAction();
      dropped_(paths);
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace ok
