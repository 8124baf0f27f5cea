#pragma once

// The application's exception handling: every exception that escapes a handler Vornask
// connects is caught at that handler's boundary (Guarded) and reported here, never left to
// unwind through the toolkit's frames.

#include <QObject>
#include <exception>
#include <functional>
#include <string>
#include <type_traits>

class Exception;
class QWidget;

using ExceptionHook = std::function<void(QObject* sender, const Exception& e)>;

// Installs the application-wide hook; without one, the default error box reports.
void SetApplicationExceptionHook(ExceptionHook hook);
bool HasApplicationExceptionHook();

// Reports an escaped exception: EAbort is dropped; others go to the hook or the default box.
void HandleApplicationException(QObject* sender, std::exception_ptr error);

// The default error box: the message with the full-stop rule, the application title as caption.
// owner: the window it belongs to (null: the application's main window).
void ShowDefaultErrorBox(const std::string& message, QWidget* owner = nullptr);

// Appends '.' to a non-empty message whose last byte sorts after '.'; one ending in '!', ',',
// '.' or the like is left as it is.
std::string WithFullStop(const std::string& message);

// Program file name, first letter capital and the rest small ("Vornask").
std::string ApplicationTitle();

// Runs a handler body, handing anything it throws to the application's exception handling.
template <class F>
void Guarded(QObject* sender, F&& body) {
    try {
        body();
    } catch (...) {
        HandleApplicationException(sender, std::current_exception());
    }
}

// Connects signal to slot run under Guarded(sender, ...), with the receiver as the connection's
// context. slot takes the signal's arguments, or none.
template <class Sender, class Signal, class Slot>
QMetaObject::Connection ConnectGuarded(Sender* sender, Signal signal, const QObject* receiver,
                                       Slot slot) {
    return QObject::connect(
        sender, signal, receiver, [sender, slot = std::move(slot)](const auto&... args) -> void {
            Guarded(sender, [&] {
                if constexpr (std::is_invocable_v<const Slot&, decltype(args)...>)
                    slot(args...);
                else
                    slot();
            });
        });
}
