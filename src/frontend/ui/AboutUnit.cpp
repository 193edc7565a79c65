#include "frontend/ui/AboutUnit.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/VarnexContext.h"
#include "frontend/Version.h"

TAboutBox::TAboutBox(VarnexContext&, QWidget* parent) : QDialog(parent) {
  setWindowTitle("About Varnex");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(10);

  auto* name = new QLabel("Varnex");
  QFont big = name->font();
  big.setPointSizeF(big.pointSizeF() * 1.8);
  big.setBold(true);
  name->setFont(big);
  name->setAlignment(Qt::AlignCenter);
  layout->addWidget(name);

  auto* version = new QLabel(QString("Version %1").arg(VarnexVersion));
  version->setAlignment(Qt::AlignCenter);
  layout->addWidget(version);

  auto* what = new QLabel("Monitor and logger for GPS-disciplined\nfrequency and time reference receivers");
  what->setAlignment(Qt::AlignCenter);
  layout->addWidget(what);

  auto* link = new QLabel("<a href=\"https://www.varnex.org/\">www.varnex.org</a>");
  link->setObjectName("HyperLink");
  link->setAlignment(Qt::AlignCenter);
  link->setOpenExternalLinks(true);
  link->setTextInteractionFlags(Qt::TextBrowserInteraction);
  layout->addWidget(link);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  buttons->setCenterButtons(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  setFixedSize(sizeHint().expandedTo(QSize(320, 200)));
}
