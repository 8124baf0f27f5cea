#pragma once

#include <QApplication>

// The application object. Handlers Vornask connects catch their own exceptions (Guarded);
// this only keeps one that slipped past them from unwinding through the toolkit.
class TApplication : public QApplication {
    Q_OBJECT
  public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
