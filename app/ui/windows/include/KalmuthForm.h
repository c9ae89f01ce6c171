// The main window's form: its actions and central widget, set up and translated in code.
#pragma once

#include <QAction>
#include <QIcon>
#include <QMainWindow>
#include <QWidget>

namespace Ui {

class KalmuthClass {
public:
    QAction* actionExit;
    QAction* actionStopRecording;
    QAction* actionStartGrab;
    QAction* actionOpenCamera;
    QAction* actionCloseCamera;
    QAction* actionZoomIn;
    QAction* actionZoomOut;
    QAction* actionZoomToFit;
    QAction* actionZoom100;
    QAction* actionSaveImage;
    QAction* actionStartRecording;
    QAction* actionStopGrab;
    QAction* actionOptimizeCameraSettings;
    QWidget* centralWidget;

    void setupUi(QMainWindow* window);
    void retranslateUi(QMainWindow* window);
};

} // namespace Ui
