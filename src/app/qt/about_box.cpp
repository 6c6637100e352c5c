#include "app/qt/about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/qt_dialogs.h"
#include "app/qt/qt_images.h"
#include "app/qt/qt_widgets.h"
#include "app/workbench/workbench_texts.h"
#include "app/workbench/workbench_view.h"

namespace ok {

AboutBox::AboutBox(QWidget* parent, std::function<void(const std::string&)> openLink)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      openLink_(openLink ? std::move(openLink) : [](const std::string& url) { OpenInShell(url); }) {
  setObjectName("Form3");
  setWindowTitle(QText(AboutTitle));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(QSize(64, 64), devicePixelRatioF()));
  icon->setAlignment(Qt::AlignCenter);
  auto* name =
      new QLabel(QString::fromUtf8(MainWindowCaption) + QStringLiteral("  ") + QText(ProductSubtitle), this);
  name->setObjectName("lblProduct");
  QFont bold = name->font();
  bold.setBold(true);
  bold.setPixelSize(16);
  name->setFont(bold);
  name->setAlignment(Qt::AlignCenter);
  auto* contact = new QLabel(QText(ContactText), this);
  contact->setObjectName("lblContact");
  contact->setAlignment(Qt::AlignCenter);
  auto* link =
      new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromUtf8(ProductWebAddress)), this);
  link->setObjectName("lblLink");
  link->setAlignment(Qt::AlignCenter);
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(link, &QLabel::linkActivated, this, [this](const QString& url) { openLink_(url.toStdString()); });
  auto* close = new QPushButton(QText(AboutCloseCaption), this);
  close->setObjectName("btnClose");
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  layout->addWidget(icon);
  layout->addWidget(name);
  layout->addWidget(contact);
  layout->addWidget(link);
  layout->addSpacing(8);
  layout->addWidget(close, 0, Qt::AlignCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace ok
