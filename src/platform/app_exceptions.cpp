#include "platform/app_exceptions.h"

#include <unistd.h>
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <utility>

#include "base/exception.h"
#include "platform/message_box.h"

namespace {

ExceptionHook& Hook() {
    static ExceptionHook hook;
    return hook;
}

std::string ProgramFileName() {
    if (QCoreApplication::instance())
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    return QFileInfo(QString::fromLocal8Bit(path, n)).completeBaseName().toStdString();
}

void Report(QObject* sender, const Exception& e) {
    if (dynamic_cast<const EAbort*>(&e)) return;
    if (Hook())
        Hook()(sender, e);
    else
        ShowDefaultErrorBox(e.Message());
}

}  // namespace

void SetApplicationExceptionHook(ExceptionHook hook) {
    Hook() = std::move(hook);
}

bool HasApplicationExceptionHook() {
    return static_cast<bool>(Hook());
}

void HandleApplicationException(QObject* sender, std::exception_ptr error) {
    // This runs at a handler's boundary: nothing may leave it, not even a failing report.
    try {
        try {
            std::rethrow_exception(std::move(error));
        } catch (const Exception& e) {
            Report(sender, e);
        } catch (const std::exception& e) {
            Report(sender, Exception(e.what()));
        } catch (...) {
            Report(sender, Exception("Unknown exception"));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", ApplicationTitle().c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: failure while reporting a failure\n", ApplicationTitle().c_str());
    }
}

std::string WithFullStop(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

std::string ApplicationTitle() {
    QString name = QString::fromLocal8Bit(ProgramFileName().c_str());
    if (name.isEmpty()) return {};
    name = name.left(1).toUpper() + name.mid(1).toLower();
    return name.toLocal8Bit().toStdString();
}

void ShowDefaultErrorBox(const std::string& message, QWidget* owner) {
    const std::string text = WithFullStop(message);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s: %s\n", ApplicationTitle().c_str(), text.c_str());
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromLocal8Bit(ApplicationTitle().c_str()),
                    QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);  // server replies are shown, never interpreted
    ExecMessageBox(box, owner);
}
