#include "app/qt/qt_dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/qt/qt_widgets.h"
#include "app/workbench/workbench_texts.h"

namespace ok {

QString DialogFilter(const std::string& filter) {
  const QStringList parts = QText(filter).split('|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      patterns << pattern;
      if (pattern.toLower() != pattern) patterns << pattern.toLower();
    }
    entries << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return entries.join(";;");
}

void FitTitle(QMessageBox& box) {
  // A short text gives a narrow box whose title bar cuts the caption; room for the title, its
  // icon and the title bar's buttons.
  constexpr int TitleBarExtra = 140;
  const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + TitleBarExtra;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

void ShowMessageBox(QWidget* parent, const std::string& text, TMessageKind kind) {
  QMessageBox::Icon icon = kind == mkError     ? QMessageBox::Critical
                           : kind == mkWarning ? QMessageBox::Warning
                                               : QMessageBox::Information;
  QMessageBox box(icon, QString::fromUtf8(ApplicationTitle), QText(text), QMessageBox::Ok, parent);
  box.setObjectName("MessageBox");
  FitTitle(box);
  box.exec();
}

bool AskQuestion(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::Question, QString::fromUtf8(ApplicationTitle), QText(text),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setObjectName("QuestionBox");
  box.setDefaultButton(QMessageBox::No);
  FitTitle(box);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> AskTextInput(QWidget* parent, const std::string& prompt,
                                        const std::string& initial) {
  QInputDialog dialog(parent);
  dialog.setObjectName("TextInputDialog");
  dialog.setWindowTitle(QString::fromUtf8(ApplicationTitle));
  dialog.setLabelText(QText(prompt));
  dialog.setTextValue(QText(initial));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue().toStdString();
}

std::vector<std::string> ChooseFiles(QWidget* parent, const std::string& filter, bool multiSelect) {
  QFileDialog dialog(parent);
  dialog.setObjectName("sOpenDialog1");
  dialog.setNameFilter(DialogFilter(filter));
  dialog.setFileMode(multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  std::vector<std::string> chosen;
  if (dialog.exec() != QDialog::Accepted) return chosen;
  for (const QUrl& file : dialog.selectedUrls()) chosen.push_back(LocalPath(file));
  return chosen;
}

std::string ChooseFolder(QWidget* parent, const std::string& title) {
  const QUrl folder = QFileDialog::getExistingDirectoryUrl(parent, QText(title));
  return folder.isEmpty() ? "" : LocalPath(folder);
}

bool OpenInShell(const std::string& target) {
  return QDesktopServices::openUrl(target.rfind('/', 0) == 0 ? LocalUrl(target) : QUrl(QText(target)));
}

TPowerOffDialog::TPowerOffDialog(QWidget* parent, int seconds)
    : QDialog(parent), secondsLeft_(std::max(seconds, 0)) {
  setObjectName("PowerOffDialog");
  setWindowTitle(QString::fromUtf8(ApplicationTitle));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(this);
  text_->setObjectName("PowerOffText");
  cancel_ = new QPushButton(QText(CancelPowerOffCaption), this);
  cancel_->setObjectName("PowerOffCancel");
  layout->addWidget(text_);
  layout->addWidget(cancel_, 0, Qt::AlignCenter);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  ShowSecondsLeft();
}

bool TPowerOffDialog::Run() {
  if (secondsLeft_ == 0) return true;
  timer_->start();
  return exec() == QDialog::Accepted;
}

void TPowerOffDialog::Tick() {
  if (--secondsLeft_ <= 0) {
    timer_->stop();
    accept();
    return;
  }
  ShowSecondsLeft();
}

void TPowerOffDialog::ShowSecondsLeft() { text_->setText(QText(PowerOffCountdownText(secondsLeft_))); }

}  // namespace ok
