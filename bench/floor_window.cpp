// The floor kvel's CPU is measured against: a bare Qt window of the main window's size with a
// status bar of four panels and the link's three timers (500, 100 and 100 ms), which do
// nothing. Whatever kvel uses beyond it is its own work.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("floor"));
    window.resize(407, 281);
    for (int panel = 0; panel < 4; ++panel)
        window.statusBar()->addWidget(new QLabel(QStringLiteral("panel")));
    window.show();
    QTimer timers[3];
    const int intervalsMs[3] = {500, 100, 100};
    for (int i = 0; i < 3; ++i) {
        QObject::connect(&timers[i], &QTimer::timeout, [] {});
        timers[i].start(intervalsMs[i]);
    }
    return app.exec();
}
