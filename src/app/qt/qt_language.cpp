#include "app/qt/qt_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/translation.h"

namespace ok {

void SetUpWindowLanguage() {
  SetUpTranslation();
  static QTranslator* qtTexts = nullptr;
  if (qtTexts) {
    QCoreApplication::removeTranslator(qtTexts);
    delete qtTexts;
    qtTexts = nullptr;
  }
  // Qt's source texts are English: only Chinese needs its catalogue.
  if (EnglishChosen()) return;
  auto* texts = new QTranslator;
  const QLocale wanted(QString::fromStdString(WantedLanguage()));
  if (texts->load(wanted, QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
      QCoreApplication::installTranslator(texts))
    qtTexts = texts;
  else
    delete texts;
}

}  // namespace ok
