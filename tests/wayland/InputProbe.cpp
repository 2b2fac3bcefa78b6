// A plain full-screen Qt window for the Wayland session test. It reports what
// reaches it on stdout, one line per event ("shown", "press X Y", "move X Y",
// "release X Y", "key NAME", "quit"), and paints its top half red and its
// bottom half green so a picture of the output shows which way up it is.
// Escape ends it with 0; it gives up by itself after a minute with 3.
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void report(const QString& line) {
  std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
  std::fflush(stdout);
}

QString at(const char* what, const QMouseEvent* event) {
  return QStringLiteral("%1 %2 %3")
      .arg(QLatin1String(what))
      .arg(qRound(event->position().x()))
      .arg(qRound(event->position().y()));
}

class Probe : public QWidget {
 protected:
  void showEvent(QShowEvent*) override { report(QStringLiteral("shown")); }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(0, 0, width(), height() / 2, QColor(0xc0, 0x30, 0x30));
    painter.fillRect(0, height() / 2, width(), height() - height() / 2, QColor(0x30, 0xc0, 0x30));
  }
  void mousePressEvent(QMouseEvent* event) override { report(at("press", event)); }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (event->buttons() & Qt::LeftButton) report(at("move", event));
  }
  void mouseReleaseEvent(QMouseEvent* event) override { report(at("release", event)); }
  void keyPressEvent(QKeyEvent* event) override {
    report(QStringLiteral("key ") +
           QKeySequence(event->keyCombination()).toString(QKeySequence::PortableText));
    if (event->key() == Qt::Key_Escape) {
      report(QStringLiteral("quit"));
      QApplication::quit();
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setDesktopFileName(QStringLiteral("kelpie-input-probe"));
  Probe probe;
  probe.setWindowTitle(QStringLiteral("Kelpie input probe"));
  probe.showFullScreen();
  QTimer::singleShot(60'000, &app, [] { QApplication::exit(3); });
  return app.exec();
}
