#include "app/About.h"

#include <QLabel>
#include <QPushButton>

#include "app/Appearance.h"
#include "app/Controls.h"

namespace vexil::app {

namespace {
constexpr int kClientWidth = 305;
constexpr int kClientHeight = 184;
}  // namespace

}  // namespace vexil::app

using namespace vexil::app;

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(QStringLiteral("About"));
  setFont(tahoma());
  setFixedSize(kClientWidth, kClientHeight);

  auto* panel = new Panel(QStringLiteral("Panel1"), Panel::Bevel::Lowered, this);
  panel->setGeometry(8, 8, kClientWidth - 16, 120);
  const QFont large = tahoma(kLargePointSize);
  auto* product = makeLabel(QStringLiteral("LabelProduct"), QStringLiteral("Vexil"), panel);
  product->setFont(large);
  product->setAlignment(Qt::AlignCenter);
  product->setGeometry(0, 34, panel->width(), 22);
  auto* version = makeLabel(QStringLiteral("LabelVersion"),
                            QStringLiteral("Development Platform v1.00"), panel);
  version->setFont(large);
  version->setAlignment(Qt::AlignCenter);
  version->setGeometry(0, 62, panel->width(), 22);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setGeometry((kClientWidth - 90) / 2, 140, 90, 30);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

