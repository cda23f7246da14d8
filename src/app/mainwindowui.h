// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#pragma once

// The window's form: the frame with its menus, actions and docks in one
// Designer form, and what each of three docks holds in a form of its own,
// set up as one so that the window and its views reach every widget alike.
#include "ui_mainwindow.h"
#include "ui_scaledock.h"
#include "ui_settingsdock.h"
#include "ui_statisticsdock.h"

class Ui_MainWindow : public Ui_MainWindowFrame,
                      public Ui_SettingsDock,
                      public Ui_StatisticsDock,
                      public Ui_ScaleDock
{
public:
    void setupUi(QMainWindow* window)
    {
        Ui_MainWindowFrame::setupUi(window);
        Ui_SettingsDock::setupUi(dockWidgetContents);
        Ui_StatisticsDock::setupUi(dockWidgetContents_3);
        Ui_ScaleDock::setupUi(dockWidgetContents_4);
    }
};
