// zerarive: the desktop program. One optional argument: a ".tvf" project, or an ".ini"
// settings file (with "Auto" set, a job that makes its AVI and closes the program).
#include <cstdio>
#include <cstring>

#include <QApplication>

#include "app/startup.h"
#include "gui/icons.h"
#include "gui/main_frame.h"
#include "gui/qt_host.h"
#include "gui/screenshots.h"
#include "platform/avifile/avifile.h"

namespace {

void PrintUsage() {
  std::printf(
      "Usage: zerarive [PROJECT.tvf | SETTINGS.ini]\n"
      "\n"
      "Wombrel Zerarive, the animation maker: collect still images, order them, set how\n"
      "long each is shown, add a logo and a sound, and make an AVI video.\n"
      "\n"
      "  PROJECT.tvf    open this project\n"
      "  SETTINGS.ini   use this settings file instead of Zerarive.ini beside the program;\n"
      "                 with Auto=1 in its [General] section it is a job: the AVI named by\n"
      "                 Output is made from the [Images] list and the program closes\n"
      "                 (exit code 0) once it is made. Run jobs without a desktop with\n"
      "                 `zerarive-cli job SETTINGS.ini`.\n"
      "  -h, --help     show this text\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      PrintUsage();
      return 0;
    }
  }
  // For scripts/screenshot.sh: --screenshots FOLDER IMAGE AVI [FILE]
  const bool screenshots = argc >= 5 && !std::strcmp(argv[1], "--screenshots");
  if (!screenshots && argc > 2) {
    std::fprintf(stderr, "zerarive: one file at most (see --help)\n");
    return 2;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Zerarive"));
  QApplication::setApplicationDisplayName(QStringLiteral("Wombrel Zerarive"));
  QApplication::setDesktopFileName(QStringLiteral("zerarive"));
  QApplication::setWindowIcon(zr::ProgramIcon());

  zr::AVIFileInit();
  int result = 1;
  {
    zr::QtHost host;
    zr::CMainFrame frame;
    frame.doc().AttachHost(host);
    host.Attach(&frame, frame.statusBar());
    const std::string arg = screenshots ? (argc > 5 ? argv[5] : "") : (argc > 1 ? argv[1] : "");
    // As the framework does: a file that cannot be opened ends the start-up (the
    // document has said why).
    if (zr::OpenCommandLineFile(frame.doc(), arg)) {
      if (screenshots) {
        result = zr::RunScreenshots(frame, QString::fromLocal8Bit(argv[2]),
                                    QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
        frame.close();
      } else {
        frame.show();
        result = app.exec();
      }
    }
  }
  zr::AVIFileExit();
  return result;
}
