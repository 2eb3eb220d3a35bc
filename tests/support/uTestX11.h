#pragma once

#include <QProcess>
#include <QStringList>

// The user's hands in the X server: runs xdotool with the given arguments
// and tells whether it succeeded.
inline bool XDoTool(const QStringList &args) {
  QProcess p;
  p.start(QStringLiteral("xdotool"), args);
  return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
