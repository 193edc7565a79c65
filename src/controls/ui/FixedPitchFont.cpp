#include "controls/ui/FixedPitchFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <algorithm>

namespace {

bool InstalledFixedPitch(const QString& family) {
  return QFontDatabase::hasFamily(family) && QFontDatabase::isFixedPitch(family);
}

QString FirstFixedPitchFamily() {
  const QStringList preferred = {"DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono", "Noto Mono",
                                 "Ubuntu Mono",      "Courier New",     "Nimbus Mono PS", "FreeMono"};
  for (const QString& family : preferred)
    if (InstalledFixedPitch(family)) return family;
  QStringList all = QFontDatabase::families();
  std::sort(all.begin(), all.end());
  for (const QString& family : all)
    if (QFontDatabase::isFixedPitch(family)) return family;
  return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

}  // namespace

QString FixedPitchFamily(const QString& wanted) {
  // The database does not change while the program runs; one look per face is enough.
  static QHash<QString, QString> resolved;
  const auto it = resolved.constFind(wanted);
  if (it != resolved.constEnd()) return *it;
  const QString family = InstalledFixedPitch(wanted) ? wanted : FirstFixedPitchFamily();
  resolved.insert(wanted, family);
  return family;
}

QFont FixedPitchFont(const QString& wanted, int pixelHeight, bool bold) {
  QFont font(FixedPitchFamily(wanted));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(std::max(1, pixelHeight));
  font.setBold(bold);
  font.setKerning(false);
  return font;
}
