// vexil-devp: the Vexil Development Platform. Takes no arguments; reads and writes
// "VexilDevP.ini" in the working directory.
#include <QApplication>

#include "app/About.h"
#include "app/Appearance.h"
#include "app/Settings.h"
#include "app/VexilDevPf.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(vexil::app::kApplicationTitle);
  vexil::app::applyDesktopLook();

  TMainForm mainForm;  // runs FormCreate to its end
  TSettingsForm settingsForm(&mainForm);
  TFormAbout formAbout(&mainForm);
  mainForm.useDialogs(&settingsForm, &formAbout);

  mainForm.show();
  return QApplication::exec();
}
