#include "shell/application.h"

#include "platform/app_exceptions.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The main window hides while it watches; boxes closing then must not end the program.
    setQuitOnLastWindowClosed(false);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleApplicationException(receiver, std::current_exception());
        return false;
    }
}
