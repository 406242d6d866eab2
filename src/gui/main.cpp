#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label("Wombrel Zerarive");
  label.setWindowTitle("Wombrel Zerarive");
  label.show();
  return app.exec();
}
