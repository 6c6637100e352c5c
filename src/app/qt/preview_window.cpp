#include "app/qt/preview_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include "app/qt/qt_images.h"

namespace ok {

TPreviewForm::TPreviewForm(int width, int height, std::function<void()> onUserClose,
                           std::shared_ptr<std::atomic<bool>> ownerAlive)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      onUserClose_(std::move(onUserClose)),
      ownerAlive_(std::move(ownerAlive)) {
  setObjectName("PreviewForm");
  setAttribute(Qt::WA_DeleteOnClose, false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(std::max(width, 1), std::max(height, 1));
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(this->width() / 2, this->height() / 2));
  }
}

void TPreviewForm::SetPicture(const TBitmap& bitmap, const QString& caption) {
  picture_ = BitmapToImage(bitmap);
  setWindowTitle(caption);
  if (!isVisible()) show();
  // Drawn before the worker goes on: the bitmap belongs to the worker again once this returns.
  repaint();
}

void TPreviewForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  painter.drawImage(0, 0, picture_);
}

void TPreviewForm::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  // The window manager moves the window as if the caption were dragged; where it cannot, by hand.
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TPreviewForm::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) move(event->globalPosition().toPoint() - dragOffset_);
}

void TPreviewForm::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void TPreviewForm::closeEvent(QCloseEvent* event) {
  if (onUserClose_ && ownerAlive_->load()) {
    std::function<void()> onUserClose = std::move(onUserClose_);
    onUserClose_ = nullptr;
    onUserClose();
  }
  event->accept();
}

TQtPreviewWindow::TQtPreviewWindow(int width, int height, std::function<void()> onUserClose)
    : form_(new TPreviewForm(width, height, std::move(onUserClose), alive_)) {}

TQtPreviewWindow::~TQtPreviewWindow() {
  alive_->store(false);
  if (!form_) return;
  // Destroyed without Destroy: off the main thread only the window's own event loop may delete it.
  if (QThread::currentThread() == form_->thread()) {
    delete form_;
  } else {
    TPreviewForm* form = form_;
    QMetaObject::invokeMethod(
        form, [form] { delete form; }, Qt::QueuedConnection);
  }
}

void TQtPreviewWindow::ShowBitmap(const TBitmap& bitmap, const std::string& caption) {
  if (form_) form_->SetPicture(bitmap, QString::fromStdString(caption));
}

void TQtPreviewWindow::Destroy() {
  if (!form_) return;
  alive_->store(false);
  form_->hide();
  // Later: Destroy may be reached from inside one of the window's own events.
  form_->deleteLater();
  form_ = nullptr;
}

std::unique_ptr<TPreviewWindow> TQtPreviewWindowFactory::Create(int width, int height,
                                                                std::function<void()> onUserClose) {
  return std::make_unique<TQtPreviewWindow>(width, height, std::move(onUserClose));
}

}  // namespace ok
