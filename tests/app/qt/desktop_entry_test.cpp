// The desktop entry's MIME types against the program's list of video suffixes: what the desktop
// offers to open with the program, the open dialog, folders and drops accept too.

#include <gtest/gtest.h>

#include <QMimeDatabase>
#include <QSet>
#include <fstream>
#include <string>

#include "app/workbench/source_list.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

QStringList DeclaredMimeTypes() {
  std::ifstream entry(SourceDir() + "/packaging/ostrelkalvexa.desktop");
  std::string line;
  while (std::getline(entry, line))
    if (line.rfind("MimeType=", 0) == 0)
      return QString::fromStdString(line.substr(9)).split(';', Qt::SkipEmptyParts);
  return {};
}

TEST(DesktopEntryTest, MimeTypesAndVideoSuffixesAgree) {
  const QStringList declared = DeclaredMimeTypes();
  ASSERT_FALSE(declared.isEmpty());
  QSet<QString> suffixes;
  for (const std::string& ext : VideoFileExtensions())
    suffixes.insert(QString::fromStdString(ext).mid(1).toLower());
  const QMimeDatabase db;
  QSet<QString> declaredNames;
  for (const QString& name : declared) {
    const QMimeType type = db.mimeTypeForName(name);
    declaredNames.insert(type.isValid() ? type.name() : name);  // aliases by their real name
    // Files of a type the desktop hands over are ones the dialog lists.
    if (type.isValid() && !type.suffixes().isEmpty()) {
      bool listed = false;
      for (const QString& suffix : type.suffixes()) listed = listed || suffixes.contains(suffix);
      EXPECT_TRUE(listed) << name.toStdString() << ": " << type.suffixes().join(' ').toStdString();
    }
  }
  // A suffix the dialog lists and the database knows is declared under one of its types.
  for (const QString& suffix : suffixes) {
    const QList<QMimeType> types = db.mimeTypesForFileName("x." + suffix);
    if (types.isEmpty()) continue;
    bool found = false;
    for (const QMimeType& type : types) found = found || declaredNames.contains(type.name());
    EXPECT_TRUE(found) << suffix.toStdString();
  }
}

}  // namespace
}  // namespace ok::test
