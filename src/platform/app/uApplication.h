#pragma once

#include <QApplication>
#include <exception>
#include <functional>

// The application object: an error that escapes an event handler is shown by
// the default error handler and the program goes on. Window captions reach
// the window manager as they are set, an empty one included
// (uWindowCaption.h).
class TApplication : public QApplication {
  Q_OBJECT
public:
  TApplication(int &argc, char **argv);
  bool notify(QObject *receiver, QEvent *event) override;
};

// The application's title: the caption of the default error report and of
// the error dialog (TDialogs::ErrorDialog). The executable's name until it
// is set.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// The application's default error handler: a modal error box with the
// error's message, captioned with the application's title.
void HandleException(const std::exception &e);

// Runs a handler body; an error escaping it goes to HandleException.
// Every event handler of the program's forms runs through this.
void RunGuarded(const std::function<void()> &body);
