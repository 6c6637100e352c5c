#pragma once
// The previewer's floating window: always on top, a tool-window frame with only a close button,
// centred, its client area the size of the first picture, dragged by the picture itself.

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "media/previewer.h"

namespace ok {

class TPreviewForm : public QWidget {
 public:
  // `ownerAlive` turns false (on any thread) when the owner goes; the window then calls nothing.
  TPreviewForm(int width, int height, std::function<void()> onUserClose,
               std::shared_ptr<std::atomic<bool>> ownerAlive);
  void SetPicture(const TBitmap& bitmap, const QString& caption);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  std::function<void()> onUserClose_;
  std::shared_ptr<std::atomic<bool>> ownerAlive_;
  QImage picture_;
  bool dragging_ = false;
  QPoint dragOffset_;  // cursor position minus window position while dragging by hand
};

class TQtPreviewWindow : public TPreviewWindow {
 public:
  TQtPreviewWindow(int width, int height, std::function<void()> onUserClose);
  ~TQtPreviewWindow() override;
  TQtPreviewWindow(const TQtPreviewWindow&) = delete;
  TQtPreviewWindow& operator=(const TQtPreviewWindow&) = delete;
  void ShowBitmap(const TBitmap& bitmap, const std::string& caption) override;
  void Destroy() override;
  TPreviewForm* Form() const { return form_; }

 private:
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  TPreviewForm* form_;  // only this object deletes it
};

class TQtPreviewWindowFactory : public TPreviewWindowFactory {
 public:
  std::unique_ptr<TPreviewWindow> Create(int width, int height, std::function<void()> onUserClose) override;
};

}  // namespace ok
