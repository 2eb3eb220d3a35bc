#pragma once

#include <QMainWindow>

// The program's main window.
class TfrmOCRMain : public QMainWindow {
  Q_OBJECT
public:
  explicit TfrmOCRMain(QWidget *parent = nullptr);
  ~TfrmOCRMain() override;

private:
  void FormCreate();
};
