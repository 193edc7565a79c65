#include "frontend/ui/AboutUnit.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui/VarnexContext.h"
#include "frontend/Version.h"
#include "platform/ProgramFolder.h"

TAboutBox::TAboutBox(VarnexContext& context, QWidget* parent) : QDialog(parent) {
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

  // Where the settings, data files and logs are, with a link that opens the folder.
  const QString folder = QString::fromStdString(context.Folder);
  auto* files =
      new QLabel(context.FolderProblem.empty()
                     ? QString("Files in <a href=\"%1\">%2</a>")
                           .arg(QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded), folder.toHtmlEscaped())
                     : QString::fromStdString(DataFolderNote(context.Folder, context.FolderProblem)).toHtmlEscaped());
  files->setObjectName("FilesFolder");
  files->setTextFormat(Qt::RichText);
  files->setWordWrap(true);
  files->setAlignment(Qt::AlignCenter);
  files->setOpenExternalLinks(true);
  files->setTextInteractionFlags(Qt::TextBrowserInteraction);
  layout->addWidget(files);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  buttons->setCenterButtons(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  setFixedSize(sizeHint().expandedTo(QSize(320, 200)));
}
