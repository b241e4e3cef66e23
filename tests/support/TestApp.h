#pragma once

#include <QApplication>

// The widget application a test needs for timers, the D-Bus dispatch and popup menus; made
// fresh for each test.
class TestApp {
  public:
    TestApp() : app(argc, argv) {}

  private:
    int argc = 1;
    char name[5] = "test";
    char* argv[2] = {name, nullptr};
    QApplication app;
};
